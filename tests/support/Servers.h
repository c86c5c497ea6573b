#pragma once
// Tests that need a real server, an oracle tool or a privilege of the machine (pyftpdlib, aiosmtpd,
// vsftpd, openssl, unzip, 7z, a mount) skip with the reason when it is not there - on a developer's
// machine. CI (.ci/run) sets VASTREL_REQUIRE_SERVERS=1, which turns every such skip into a failure, so a
// green CI run means the servers and tools really ran.
//
//   VsftpdServer server(true);
//   VASTREL_REQUIRE_SERVER(server.SkipReason());      // "" when the server runs

#include <string>

#include <gtest/gtest.h>

// True when VASTREL_REQUIRE_SERVERS is set to something other than "" or "0".
bool ServersRequired();

// Mounts an empty tmpfs on the folder (for tests of mount points); empty when it worked, otherwise why
// not (mounting needs root).
std::string MountTmpfs(const std::string& folder);

// Skips the current test (or fails it, when servers are required) when reason is not empty. Only in a
// test body or a fixture's SetUp, like GTEST_SKIP.
#define VASTREL_REQUIRE_SERVER(reason)                                                                       \
    do {                                                                                                     \
        const std::string vastrelServerReason_ = (reason);                                                   \
        if (!vastrelServerReason_.empty()) {                                                                 \
            if (ServersRequired())                                                                           \
                FAIL() << "required server missing (VASTREL_REQUIRE_SERVERS is set): "                       \
                       << vastrelServerReason_;                                                              \
            else                                                                                             \
                GTEST_SKIP() << vastrelServerReason_;                                                        \
        }                                                                                                    \
    } while (0)
