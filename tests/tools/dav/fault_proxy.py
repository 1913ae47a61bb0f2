#!/usr/bin/python3
"""A forwarding HTTP proxy for DAV tests that breaks responses on purpose.

Listens on 127.0.0.1 at a port of its own choosing, prints the port as its
first line, forwards every request to --upstream, and logs "METHOD path [if-match]
[if-none-match]" of each to --log. Faults:
  --fail-report STATUS   answer REPORT requests with STATUS and no body
  --drop-etags           remove ETag headers and getetag properties
  --bare-etags           send ETags without their quotes
  --truncate-sync N      cut sync-collection answers to N members, mark them
                         truncated (507) and hand back the token asked from,
                         as a server that cannot make progress does
  --hide-sync-token      remove sync-token from PROPFIND answers, as a server
                         without sync-collection answers
Ends when its standard input closes (the test ended) or after --lifetime
seconds, whichever comes first. --upstream-timeout bounds each forwarded
request (a benchmark's server may need minutes for a large collection).
"""
import argparse
import http.client
import http.server
import re
import socketserver
import sys
import threading
import urllib.parse

parser = argparse.ArgumentParser()
parser.add_argument("--upstream", required=True)
parser.add_argument("--log", required=True)
parser.add_argument("--fail-report", type=int, default=0)
parser.add_argument("--drop-etags", action="store_true")
parser.add_argument("--bare-etags", action="store_true")
parser.add_argument("--truncate-sync", type=int, default=-1)
parser.add_argument("--hide-sync-token", action="store_true")
parser.add_argument("--lifetime", type=float, default=300.0)
parser.add_argument("--upstream-timeout", type=float, default=30.0)
args = parser.parse_args()
upstream = urllib.parse.urlsplit(args.upstream)
log_lock = threading.Lock()

GETETAG = re.compile(rb"(<(?:[A-Za-z0-9_]+:)?getetag(?:\s[^>]*)?>)(.*?)(</(?:[A-Za-z0-9_]+:)?getetag>)", re.S)
EMPTY_GETETAG = re.compile(rb"<(?:[A-Za-z0-9_]+:)?getetag\s*/>")


RESPONSE = re.compile(rb"<((?:[A-Za-z0-9_]+:)?)response\b.*?</(?:[A-Za-z0-9_]+:)?response>", re.S)
SYNC_TOKEN = re.compile(rb"(<(?:[A-Za-z0-9_]+:)?sync-token(?:\s[^>]*)?>)(.*?)(</(?:[A-Za-z0-9_]+:)?sync-token>)", re.S)
EMPTY_SYNC_TOKEN = re.compile(rb"<(?:[A-Za-z0-9_]+:)?sync-token\s*/>")


def truncate_sync(request, data, path):
    asked = SYNC_TOKEN.search(request or b"")
    members = list(RESPONSE.finditer(data))
    if not members:
        return data
    prefix = members[0].group(1)
    cut = (b"<%sresponse><%shref>%s</%shref><%sstatus>HTTP/1.1 507 Insufficient Storage</%sstatus></%sresponse>"
           % (prefix, prefix, path.encode(), prefix, prefix, prefix, prefix))
    kept = b"".join(m.group(0) for m in members[:args.truncate_sync])
    body = data[:members[0].start()] + kept + cut + data[members[-1].end():]
    token = asked.group(2) if asked else b""
    return SYNC_TOKEN.sub(lambda m: m.group(1) + token + m.group(3), body)


def unquote_etag(match):
    value = match.group(2).replace(b"&quot;", b'"').strip()
    if value.startswith(b"W/"):
        value = value[2:]
    return match.group(1) + value.strip(b'"') + match.group(3)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *_):
        pass

    def forward(self):
        with log_lock, open(args.log, "a") as log:
            conditions = " ".join(h.lower() for h in ("If-Match", "If-None-Match") if h in self.headers)
            log.write(f"{self.command} {self.path} {conditions}".rstrip() + "\n")
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else None
        if args.fail_report and self.command == "REPORT":
            self.send_response(args.fail_report)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        headers = {k: v for k, v in self.headers.items() if k.lower() not in ("host", "connection", "accept-encoding")}
        conn = http.client.HTTPConnection(upstream.hostname, upstream.port, timeout=args.upstream_timeout)
        try:
            conn.request(self.command, self.path, body=body, headers=headers)
            response = conn.getresponse()
            data = response.read()
            out_headers = [(k, v) for k, v in response.getheaders()
                           if k.lower() not in ("content-length", "transfer-encoding", "connection")]
        finally:
            conn.close()
        if (args.truncate_sync >= 0 and self.command == "REPORT" and body and b"sync-collection" in body
                and response.status == 207):
            data = truncate_sync(body, data, self.path)
        if args.hide_sync_token and self.command == "PROPFIND":
            data = EMPTY_SYNC_TOKEN.sub(b"", SYNC_TOKEN.sub(b"", data))
        if args.drop_etags:
            out_headers = [(k, v) for k, v in out_headers if k.lower() != "etag"]
            data = GETETAG.sub(b"", data)
            data = EMPTY_GETETAG.sub(b"", data)
        elif args.bare_etags:
            out_headers = [(k, v.strip().removeprefix("W/").strip('"') if k.lower() == "etag" else v)
                           for k, v in out_headers]
            data = GETETAG.sub(unquote_etag, data)
        self.send_response(response.status, response.reason)
        for k, v in out_headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def __getattr__(self, name):
        if name.startswith("do_"):
            return self.forward
        raise AttributeError(name)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
threading.Thread(target=server.serve_forever, daemon=True).start()


def wait_for_stdin_close():
    try:
        while sys.stdin.buffer.read(1024):
            pass
    except OSError:
        pass


watcher = threading.Thread(target=wait_for_stdin_close, daemon=True)
watcher.start()
watcher.join(args.lifetime)
server.shutdown()
