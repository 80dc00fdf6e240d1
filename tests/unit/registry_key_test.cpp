#include "registry_key_behaviour.h"
#include "registry_test_support.h"

void RegistryKeyBehaviour::PlatformSetUp() { sim::ResetRegistry(); }

void RegistryKeyBehaviour::PlatformTearDown()
{
    EXPECT_EQ(sim::OpenRegistryHandles(), 0) << "a registry key was left open";
}

// What only the simulation lets a test see: open handles, the delete calls and their views,
// injected failures and a system without RegDeleteKeyExW.
namespace {

class RegistryKeySim : public RegistryTest {
protected:
    static std::vector<std::string> DeletedPaths()
    {
        std::vector<std::string> paths;
        for (const sim::DeletedKey& d : sim::DeletedKeys())
            paths.push_back(d.path);
        return paths;
    }
};

TEST_F(RegistryKeySim, EachSuccessfulOpenOrCreateClosesTheKeyHeldBefore)
{
    RegistryKey key;
    ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, L"Software", KEY_READ), ERROR_SUCCESS);
    ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, L"Software\\Classes", KEY_READ), ERROR_SUCCESS);
    ASSERT_EQ(key.CreateKey(HKEY_LOCAL_MACHINE, L"New"), ERROR_SUCCESS);
    EXPECT_EQ(sim::OpenRegistryHandles(), 1);
    EXPECT_EQ(sim::HandleAccess(key.Handle()), static_cast<REGSAM>(KEY_READ | KEY_WRITE));
    EXPECT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, L"Missing", KEY_READ), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(sim::OpenRegistryHandles(), 1) << "a failed open keeps the key held";
}

TEST_F(RegistryKeySim, DestroyingAWrapperClosesItsKey)
{
    {
        RegistryKey key;
        ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, L"Software", KEY_READ), ERROR_SUCCESS);
        EXPECT_EQ(sim::OpenRegistryHandles(), 1);
    }
    EXPECT_EQ(sim::OpenRegistryHandles(), 0);
}

TEST_F(RegistryKeySim, AReportedCloseFailureIsPassedOnAndTheWrapperEmptied)
{
    RegistryKey key;
    ASSERT_EQ(key.OpenKey(HKEY_LOCAL_MACHINE, L"Software", KEY_READ), ERROR_SUCCESS);
    HKEY held = key.Handle();
    sim::Fail(sim::Op::RegCloseKey, sim::When{}, ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.CloseKey(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.Handle(), nullptr);
    EXPECT_EQ(RegCloseKey(held), ERROR_INVALID_HANDLE) << "the handle was closed all the same";
}

TEST_F(RegistryKeySim, DeleteTreeWorksInTheViewOfItsKeyDeepestFirst)
{
    MakeKey(HKEY_LOCAL_MACHINE, L"Software\\Tree\\A\\A1");
    MakeKey(HKEY_LOCAL_MACHINE, L"Software\\Tree\\B");
    RegistryKey software;
    ASSERT_EQ(software.OpenKey(HKEY_LOCAL_MACHINE, L"Software", KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
    ASSERT_EQ(software.DeleteTree(L"Tree"), ERROR_SUCCESS);
    const std::vector<std::string> expected = {"HKLM\\Software\\Tree\\A\\A1", "HKLM\\Software\\Tree\\A",
                                               "HKLM\\Software\\Tree\\B", "HKLM\\Software\\Tree"};
    EXPECT_EQ(DeletedPaths(), expected);
    for (const sim::DeletedKey& d : sim::DeletedKeys()) {
        EXPECT_TRUE(d.extended) << d.path;
        EXPECT_EQ(d.view, static_cast<REGSAM>(KEY_WOW64_64KEY)) << d.path;
    }
}

TEST_F(RegistryKeySim, ABorrowedKeyDeletesWithoutViewAndIsNotClosed)
{
    MakeKey(HKEY_LOCAL_MACHINE, L"Software\\Child");
    RegistryKey software;
    ASSERT_EQ(software.OpenKey(HKEY_LOCAL_MACHINE, L"Software", KEY_READ | KEY_WOW64_32KEY), ERROR_SUCCESS);
    {
        BorrowedKey borrowed(software.Handle());
        EXPECT_EQ(borrowed.Key().DeleteChildKey(L"Child"), ERROR_SUCCESS);
    }
    EXPECT_EQ(sim::OpenRegistryHandles(), 1) << "the lender's handle stays open";
    ASSERT_EQ(sim::DeletedKeys().size(), 1u);
    EXPECT_EQ(sim::DeletedKeys()[0].view, 0u);
}

TEST_F(RegistryKeySim, AFailingCallEndsDeleteTreeAndWhatWasDeletedStaysGone)
{
    // `op` fails its call after `skip` with `code`.
    struct Case {
        const char* name;
        sim::Op op;
        int skip;
        LONG code;
        LONG result;
        std::vector<std::string> deleted;
    };
    const Case cases[] = {
        {"the first failing deletion stops the walk", sim::Op::RegDeleteKeyEx, 1, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED, {"HKLM\\Software\\Tree\\A"}},
        {"a failed enumeration leaves the final deletion to say why: the key has sub-keys",
         sim::Op::RegEnumKeyEx, 0, ERROR_NOT_ENOUGH_MEMORY, ERROR_ACCESS_DENIED, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ResetRegistry();
        MakeKey(HKEY_LOCAL_MACHINE, L"Software\\Tree\\A");
        MakeKey(HKEY_LOCAL_MACHINE, L"Software\\Tree\\B");
        RegistryKey software;
        ASSERT_EQ(software.OpenKey(HKEY_LOCAL_MACHINE, L"Software", KEY_READ), ERROR_SUCCESS);
        sim::Fail(c.op, sim::When{c.skip}, c.code);
        EXPECT_EQ(software.DeleteTree(L"Tree"), c.result);
        EXPECT_EQ(DeletedPaths(), c.deleted);
        EXPECT_FALSE(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Software\\Tree\\B").empty());
    }
}

TEST_F(RegistryKeySim, WithoutRegDeleteKeyExTheViewPlaysNoPart)
{
    // The entry point is looked up once per process, so this runs in a process of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            sim::PublishExport(L"Advapi32.dll", "RegDeleteKeyExW", static_cast<FARPROC>(nullptr));
            MakeKey(HKEY_LOCAL_MACHINE, L"Software\\Tree\\A");
            RegistryKey software;
            software.OpenKey(HKEY_LOCAL_MACHINE, L"Software", KEY_READ | KEY_WOW64_64KEY);
            const LONG result = software.DeleteTree(L"Tree");
            software.CloseKey();
            bool plain = sim::DeletedKeys().size() == 2;
            for (const sim::DeletedKey& d : sim::DeletedKeys())
                plain = plain && !d.extended && d.view == 0;
            std::exit(result == ERROR_SUCCESS && plain && sim::OpenRegistryHandles() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(RegistryKeySim, ClassesRootWritesLandInTheMachineClassesAndReadsSeeTheUserFirst)
{
    RegistryKey machine;
    ASSERT_EQ(machine.CreateKey(HKEY_CLASSES_ROOT, L"Shared"), ERROR_SUCCESS);
    ASSERT_EQ(machine.WriteString(nullptr, L"machine", REG_SZ), ERROR_SUCCESS);
    ASSERT_EQ(machine.CloseKey(), ERROR_SUCCESS);
    EXPECT_FALSE(sim::DumpRegistry(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Shared").empty());

    RegistryKey user;
    ASSERT_EQ(user.CreateKey(HKEY_CURRENT_USER, L"Software\\Classes\\Shared"), ERROR_SUCCESS);
    ASSERT_EQ(user.WriteString(nullptr, L"user", REG_SZ), ERROR_SUCCESS);
    ASSERT_EQ(user.CreateKey(HKEY_CURRENT_USER, L"Software\\Classes\\UserOnly"), ERROR_SUCCESS);
    ASSERT_EQ(user.CloseKey(), ERROR_SUCCESS);

    using namespace entries;
    EXPECT_TRUE(SameEntries(sim::DumpRegistry(HKEY_CLASSES_ROOT),
                            {Key(""), Key("Shared"), Sz("Shared", "", "user"), Key("UserOnly")}));
    RegistryKey merged;
    ASSERT_EQ(merged.OpenKey(HKEY_CLASSES_ROOT, L"UserOnly", KEY_READ), ERROR_SUCCESS);
}

}  // namespace
