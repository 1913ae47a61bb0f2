#include <gtest/gtest.h>

#include "sync/pull_plan.h"

namespace calyra::sync {
namespace {

using Hrefs = std::vector<std::string>;

TEST(PullPlan, AFullListingFetchesOnlyWhatIsNewChangedOrUncomparable) {
    const std::vector<KnownItem> known{
        {"/c/a.vcf", "\"1\""}, {"/c/b.vcf", "\"2\""}, {"/c/gone.vcf", "\"3\""}, {"/c/x%40y.vcf", "\"4\""}};
    const std::vector<dav::ItemRef> listing{{"/c/a.vcf", "\"1\""},    // unchanged
                                            {"/c/b.vcf", "\"2b\""},   // changed
                                            {"/c/new.vcf", "\"9\""},  // new
                                            {"/c/x@y.vcf", "\"4\""},  // same item, other escaping
                                            {"/c/noetag.vcf", ""},    // cannot compare: fetch
                                            {"/c/a.vcf", "\"1\""}};   // listed twice, in the next chunk
    ListingPlan planner;
    planner.listed({listing.begin(), listing.begin() + 4}, known);
    planner.listed({listing.begin() + 4, listing.end()}, known);
    planner.recorded(known);
    const PullPlan plan = planner.take();
    EXPECT_EQ(plan.fetch, (Hrefs{"/c/b.vcf", "/c/new.vcf", "/c/noetag.vcf"}));
    EXPECT_EQ(plan.removed, (Hrefs{"/c/gone.vcf"}));
    EXPECT_EQ(plan.unchanged, 2u);
}

TEST(PullPlan, ReportedChangesAreCheckedAgainstWhatWeLastSaw) {
    const std::vector<KnownItem> known{{"/c/a.vcf", "\"1\""}, {"/c/b.vcf", "\"2\""}, {"/c/c.vcf", "\"3\""}};
    dav::SyncChanges changes;
    changes.changed = {{"/c/a.vcf", "\"1\""},   // our own PUT echoed back
                       {"/c/b.vcf", "\"2b\""},  // changed remotely
                       {"/c/c.vcf", "\"3c\""}};
    changes.removed = {"/c/c.vcf",           // removed and made again: the change wins
                       "/c/never-seen.vcf",  // nothing here to remove
                       "/c/b.vcf"};
    const PullPlan plan = PlanFromChanges(known, changes);
    EXPECT_EQ(plan.fetch, (Hrefs{"/c/b.vcf", "/c/c.vcf"}));
    EXPECT_TRUE(plan.removed.empty());
    EXPECT_EQ(plan.unchanged, 1u);

    dav::SyncChanges removal;
    removal.removed = {"/c/a.vcf"};
    EXPECT_EQ(PlanFromChanges(known, removal).removed, (Hrefs{"/c/a.vcf"}));
}

}  // namespace
}  // namespace calyra::sync
