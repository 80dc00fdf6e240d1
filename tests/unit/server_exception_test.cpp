#include <gtest/gtest.h>

#include "base/scratch_buffer.h"
#include "base/server_exception.h"
#include "base/string_copy.h"
#include "sim/sim_control.h"

namespace {

HRESULT RaisedBy(int error)
{
    try {
        CheckStringResult(error);
    } catch (const CServerException& e) {
        return e.Result();
    }
    return S_OK;
}

TEST(CheckStringResult, MapsEachErrorNumber)
{
    struct Case { const char* name; int error; HRESULT raised; };
    const Case cases[] = {
        {"success returns", 0, S_OK},
        {"truncation returns", 80, S_OK},
        {"no memory", 12, E_OUTOFMEMORY},
        {"invalid argument", 22, E_INVALIDARG},
        {"range", 34, E_INVALIDARG},
        {"anything else", 1, E_FAIL},
        {"negative", -5, E_FAIL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RaisedBy(c.error), c.raised) << c.name;
}

TEST(HresultFromLastError, AppliesTheWin32Rule)
{
    struct Case { DWORD lastError; HRESULT expected; };
    const Case cases[] = {
        {0, S_OK},
        {ERROR_INSUFFICIENT_BUFFER, static_cast<HRESULT>(0x8007007A)},
        {ERROR_FILE_NOT_FOUND, static_cast<HRESULT>(0x80070002)},
        {0x0001ABCD, static_cast<HRESULT>(0x8007ABCD)},
        {0x80004005, E_FAIL},  // already an HRESULT: negative, passes unchanged
    };
    for (const Case& c : cases) {
        SetLastError(c.lastError);
        EXPECT_EQ(HresultFromLastError(), c.expected) << std::hex << c.lastError;
    }
}

TEST(StringCopy, FitsTruncatesOrRaises)
{
    WCHAR buffer[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(StringCopy(buffer, 4, L"abc"), 0);
    EXPECT_EQ(buffer[2], L'c');
    EXPECT_EQ(buffer[3], 0);
    EXPECT_THROW(StringCopy(buffer, 4, L"abcd"), CServerException);
    EXPECT_EQ(buffer[0], 0) << "a failed copy leaves an empty string";
    EXPECT_EQ(BoundedStringCopy(nullptr, 4, L"a"), kStringInvalid);
    EXPECT_EQ(BoundedStringCopy(buffer, 4, nullptr), kStringInvalid);

    WCHAR joined[6] = L"ab";
    EXPECT_EQ(StringAppend(joined, 6, L"cde"), 0);
    EXPECT_EQ(joined[4], L'e');
    EXPECT_EQ(BoundedStringAppend(joined, 6, L"f"), kStringRange);

    WCHAR counted[8];
    EXPECT_EQ(CountedStringCopy(counted, 8, L"abcdef", 3), 0);
    EXPECT_EQ(counted[3], 0);
    EXPECT_EQ(BoundedCountedCopy(counted, 3, L"abcdef", 3), kStringRange);

    BYTE bytes[2];
    const BYTE source[3] = {1, 2, 3};
    EXPECT_EQ(BoundedMemoryCopy(bytes, 2, source, 3), kStringRange);
    EXPECT_EQ(MemoryCopy(bytes, 2, source, 2), 0);
    EXPECT_EQ(bytes[1], 2);
}

TEST(ScratchBuffer, InlineUpToItsCapacityThenHeap)
{
    ScratchBuffer<WCHAR, 256> small;
    EXPECT_NE(small.Allocate(128), nullptr);
    EXPECT_FALSE(small.UsesHeap());

    ScratchBuffer<WCHAR, 256> large;
    WCHAR* text = large.Allocate(129);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(large.UsesHeap());
    text[128] = L'z';  // the whole block is usable (ASan checks)
}

TEST(ScratchBuffer, SizeOverflowRaisesInvalidArg)
{
    ScratchBuffer<WCHAR, 1024> buffer;
    try {
        buffer.Allocate(0x80000001u);
        FAIL() << "an overflowing size must raise";
    } catch (const CServerException& e) {
        EXPECT_EQ(e.Result(), E_INVALIDARG);
    }
}

}  // namespace
