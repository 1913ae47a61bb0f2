#!/usr/bin/python3
"""A person's phone as a third-party CalDAV client (python3-caldav).

    caldav_phone.py --url CALENDAR --user USER put FILE...   store each file's item
    caldav_phone.py --url CALENDAR --user USER edit UID FILE  replace the item with that UID
    caldav_phone.py --url CALENDAR --user USER dump           every item, as JSON {uid: text}

The password is the first line of standard input, never an argument.
"""
import argparse
import json
import sys

import caldav


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--url", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("action", choices=["put", "edit", "dump"])
    parser.add_argument("rest", nargs="*")
    args = parser.parse_args()
    password = sys.stdin.readline().rstrip("\n")
    client = caldav.DAVClient(url=args.url, username=args.user, password=password)
    calendar = client.calendar(url=args.url)

    if args.action == "put":
        for name in args.rest:
            with open(name, encoding="utf-8") as f:
                text = f.read()
            if "BEGIN:VTODO" in text:
                calendar.save_todo(text)
            else:
                calendar.save_event(text)
    elif args.action == "edit":
        uid, name = args.rest
        with open(name, encoding="utf-8") as f:
            text = f.read()
        item = calendar.object_by_uid(uid)
        item.data = text
        item.save()
    else:
        items = {}
        for item in list(calendar.events()) + list(calendar.todos(include_completed=True)):
            item.load()
            text = item.data
            for line in text.splitlines():
                if line.startswith("UID:"):
                    items[line[4:]] = text
                    break
        json.dump(items, sys.stdout)


if __name__ == "__main__":
    main()
