#include "platform/FileSecurity.h"

#include <acl/libacl.h>
#include <cerrno>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ErrorCodes.h"
#include "platform/FileStatus.h"

namespace {

bool IsUnsupported(int err)
{
    return err == ENOTSUP || err == EOPNOTSUPP;
}

class AclHolder
{
public:
    explicit AclHolder(acl_t acl) : FAcl(acl) {}
    ~AclHolder()
    {
        if (FAcl)
            acl_free(FAcl);
    }
    AclHolder(const AclHolder&) = delete;
    AclHolder& operator=(const AclHolder&) = delete;
    acl_t Get() const { return FAcl; }

private:
    acl_t FAcl;
};

} // namespace

bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

uint32_t ListAltStreams(const std::string& path, std::vector<std::string>& names)
{
    names.clear();
    std::vector<std::string> all;
    int err = ExtAttrLayer::Current().List(path, all, true);
    if (err != 0)
        return IsUnsupported(err) ? 0 : ErrnoToWinError(err);
    const std::string userPrefix = "user.";
    const std::string ownPrefix = OwnAttrPrefix;
    for (auto& n : all) {
        if (n.compare(0, userPrefix.size(), userPrefix) == 0 &&
            n.compare(0, ownPrefix.size(), ownPrefix) != 0)
            names.push_back(n);
    }
    return 0;
}

uint32_t CopyAltStreams(const std::string& src, const std::string& dest)
{
    std::vector<std::string> names;
    if (uint32_t rc = ListAltStreams(src, names))
        return rc;
    ExtAttrLayer& layer = ExtAttrLayer::Current();
    for (auto& n : names) {
        std::string value;
        int err = layer.Get(src, n, value, true);
        if (err == ENODATA)
            continue; // removed meanwhile
        if (err == 0)
            err = layer.Set(dest, n, value, true);
        if (err != 0)
            return IsUnsupported(err) ? WinError::ERROR_NOT_SUPPORTED : ErrnoToWinError(err);
    }
    return 0;
}

uint32_t CopyModeBits(const std::string& src, const std::string& dest)
{
    struct stat st
    {
    };
    if (::stat(src.c_str(), &st) != 0)
        return LastWinError();
    if (::chmod(dest.c_str(), st.st_mode & 07777) != 0)
        return LastWinError();
    return 0;
}

uint32_t CopyAcls(const std::string& src, const std::string& dest)
{
    struct stat st
    {
    };
    if (::stat(src.c_str(), &st) != 0)
        return LastWinError();
    AclHolder access(acl_get_file(src.c_str(), ACL_TYPE_ACCESS));
    if (!access.Get()) {
        int err = errno;
        if (IsUnsupported(err))
            return 0; // the source has no ACLs beyond its mode bits, which CopyModeBits copies
        return ErrnoToWinError(err);
    }
    if (acl_set_file(dest.c_str(), ACL_TYPE_ACCESS, access.Get()) != 0) {
        int err = errno;
        // A minimal ACL is the mode bits; a destination without ACLs can still hold those.
        if (IsUnsupported(err) && acl_equiv_mode(access.Get(), nullptr) == 0)
            return 0;
        return IsUnsupported(err) ? WinError::ERROR_NOT_SUPPORTED : ErrnoToWinError(err);
    }
    if (S_ISDIR(st.st_mode)) {
        AclHolder def(acl_get_file(src.c_str(), ACL_TYPE_DEFAULT));
        if (def.Get()) {
            int rc = acl_entries(def.Get()) > 0 ? acl_set_file(dest.c_str(), ACL_TYPE_DEFAULT, def.Get())
                                                : acl_delete_def_file(dest.c_str());
            if (rc != 0 && !(IsUnsupported(errno) && acl_entries(def.Get()) == 0))
                return IsUnsupported(errno) ? WinError::ERROR_NOT_SUPPORTED : LastWinError();
        }
    }
    return 0;
}

uint32_t CopyOwner(const std::string& src, const std::string& dest)
{
    if (!RunningAsRoot())
        return 0;
    struct stat st
    {
    };
    if (::lstat(src.c_str(), &st) != 0)
        return LastWinError();
    if (::lchown(dest.c_str(), st.st_uid, st.st_gid) != 0)
        return LastWinError();
    return 0;
}

uint32_t CopyPermissions(const std::string& src, const std::string& dest)
{
    // The owner first: chown clears set-id bits, which the mode copy then restores.
    if (uint32_t rc = CopyOwner(src, dest))
        return rc;
    if (uint32_t rc = CopyModeBits(src, dest))
        return rc;
    return CopyAcls(src, dest);
}
