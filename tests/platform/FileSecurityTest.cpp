#include "platform/FileSecurity.h"

#include <acl/libacl.h>
#include <fstream>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/FileStatus.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

std::string GetXattr(const std::string& path, const std::string& name)
{
    char buf[256];
    ssize_t n = ::getxattr(path.c_str(), name.c_str(), buf, sizeof buf);
    return n < 0 ? std::string("<none>") : std::string(buf, static_cast<size_t>(n));
}

std::string AclText(const std::string& path, acl_type_t type)
{
    acl_t acl = acl_get_file(path.c_str(), type);
    if (!acl)
        return "<error>";
    char* text = acl_to_any_text(acl, nullptr, ',', 0);
    std::string result = text ? text : "";
    acl_free(text);
    acl_free(acl);
    return result;
}

class FileSecurityTest : public SandboxTest
{
};

} // namespace

TEST_F(FileSecurityTest, UserAttributesAreCopiedAsStreamsButTheSuitesOwnMarksAreNot)
{
    std::string src = sandbox.Path("src.txt"), dst = sandbox.Path("dst.txt");
    WriteFileBytes(src, "a");
    WriteFileBytes(dst, "a");
    ASSERT_EQ(::setxattr(src.c_str(), "user.comment", "hello", 5, 0), 0);
    ASSERT_EQ(::setxattr(src.c_str(), "user.empty", "", 0, 0), 0);
    ASSERT_EQ(ResetArchiveBit(src, true), 0u);

    std::vector<std::string> names;
    ASSERT_EQ(ListAltStreams(src, names), 0u);
    EXPECT_EQ(names.size(), 2u);
    ASSERT_EQ(CopyAltStreams(src, dst), 0u);
    EXPECT_EQ(GetXattr(dst, "user.comment"), "hello");
    EXPECT_EQ(GetXattr(dst, "user.empty"), "");
    EXPECT_EQ(GetXattr(dst, ArchiveXattrName), "<none>");
}

TEST_F(FileSecurityTest, AFileWithoutStreamsCopiesNothingAndSucceeds)
{
    std::string src = sandbox.Path("s"), dst = sandbox.Path("d");
    WriteFileBytes(src, "");
    WriteFileBytes(dst, "");
    EXPECT_EQ(CopyAltStreams(src, dst), 0u);
    EXPECT_EQ(CopyAltStreams(sandbox.Path("missing"), dst), WinError::ERROR_FILE_NOT_FOUND);
}

TEST_F(FileSecurityTest, ADestinationWithoutExtendedAttributesGivesNotSupported)
{
    std::string src = sandbox.Path("s"), dst = sandbox.Path("d");
    WriteFileBytes(src, "");
    WriteFileBytes(dst, "");
    ASSERT_EQ(::setxattr(src.c_str(), "user.x", "1", 1, 0), 0);
    // The real layer lists the source; a layer that refuses stands for the destination's file system.
    struct HalfLayer : RealExtAttrLayer
    {
        int Set(const std::string&, const std::string&, std::string_view, bool) override { return ENOTSUP; }
    } layer;
    ExtAttrLayer::SetCurrent(&layer);
    EXPECT_EQ(CopyAltStreams(src, dst), WinError::ERROR_NOT_SUPPORTED);
    ExtAttrLayer::SetCurrent(nullptr);
}

TEST_F(FileSecurityTest, PermissionsCopyModeBitsAclsAndOwner)
{
    std::string src = sandbox.Path("src"), dst = sandbox.Path("dst");
    WriteFileBytes(src, "a");
    WriteFileBytes(dst, "a");
    ::chmod(src.c_str(), 0640);
    acl_t acl = acl_from_text("u::rw-,u:1234:r--,g::r--,m::r--,o::---");
    ASSERT_NE(acl, nullptr);
    ASSERT_EQ(acl_set_file(src.c_str(), ACL_TYPE_ACCESS, acl), 0);
    acl_free(acl);
    if (RunningAsRoot()) {
        ASSERT_EQ(::chown(src.c_str(), 4321, 4322), 0);
    }

    ASSERT_EQ(CopyPermissions(src, dst), 0u);
    EXPECT_EQ(AclText(dst, ACL_TYPE_ACCESS), AclText(src, ACL_TYPE_ACCESS));
    EXPECT_NE(AclText(dst, ACL_TYPE_ACCESS).find("user:1234:r--"), std::string::npos);
    struct stat st
    {
    };
    ::stat(dst.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (RunningAsRoot()) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4322u);
    }
}

TEST_F(FileSecurityTest, FolderDefaultAclsAreCopied)
{
    std::string src = sandbox.Path("srcdir"), dst = sandbox.Path("dstdir");
    ::mkdir(src.c_str(), 0755);
    ::mkdir(dst.c_str(), 0755);
    acl_t def = acl_from_text("u::rwx,u:1234:r-x,g::r-x,m::r-x,o::---");
    ASSERT_EQ(acl_set_file(src.c_str(), ACL_TYPE_DEFAULT, def), 0);
    acl_free(def);
    ASSERT_EQ(CopyAcls(src, dst), 0u);
    EXPECT_EQ(AclText(dst, ACL_TYPE_DEFAULT), AclText(src, ACL_TYPE_DEFAULT));
}
