#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "base/scoped_owner.h"

namespace {

// Records each pointer given back to it.
struct RecordingFreer {
    std::vector<int*>* given;
    void operator()(int* p) const { given->push_back(p); }
};
using Owner = CFreeingOwner<int, RecordingFreer>;

TEST(ScopedOwner, EachPointerIsGivenBackOnceByItsLastOwner)
{
    int a = 1;
    int b = 2;
    std::vector<int*> given;
    {
        Owner first(&a, RecordingFreer{&given});
        Owner second(std::move(first));
        EXPECT_EQ(first.Get(), nullptr) << "a moved-from owner holds nothing";
        EXPECT_EQ(second.Get(), &a);

        Owner third(&b, RecordingFreer{&given});
        third = std::move(second);
        EXPECT_EQ(given, std::vector<int*>({&b})) << "the target gives back what it held";
        Owner& alias = third;
        third = std::move(alias);
        EXPECT_EQ(third.Get(), &a) << "moving onto itself keeps the pointer";

        *third.Out() = &b;
        EXPECT_EQ(given, std::vector<int*>({&b, &a})) << "an out parameter gives back first";
        EXPECT_EQ(third.Detach(), &b) << "giving up ownership hands it over unreleased";
        third.Attach(&a);
        third.Free();
        EXPECT_EQ(given, std::vector<int*>({&b, &a, &a}));
    }
    EXPECT_EQ(given.size(), 3u) << "nothing is given back twice at the end of the scope";
}

}  // namespace
