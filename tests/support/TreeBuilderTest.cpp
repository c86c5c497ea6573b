#include "support/TreeBuilder.h"
#include "support/Sandbox.h"

#include <stdexcept>

class TreeBuilder : public SandboxTest
{
};

TEST_F(TreeBuilder, BuildTreeCreatesFilesFoldersAndLinksThatReadTreeGivesBack)
{
    BuildTree(sandbox.Path("t"), {
                                     {"a/b.txt", "abc"},
                                     {"a/c/d.bin", std::string("\0\xff\n", 3)},
                                     {"empty/", ""},
                                     {"top.txt", ""},
                                     TreeEntry::Link("a/link", "b.txt"),
                                     TreeEntry::Link("dangling", "../nowhere"),
                                 });
    TreeMap expected{
        {"a/", ""},
        {"a/b.txt", "abc"},
        {"a/c/", ""},
        {"a/c/d.bin", std::string("\0\xff\n", 3)},
        {"a/link", "-> b.txt"},
        {"dangling", "-> ../nowhere"},
        {"empty/", ""},
        {"top.txt", ""},
    };
    EXPECT_EQ(ReadTree(sandbox.Path("t")), expected);
}

TEST_F(TreeBuilder, BuildTreeSetsModificationTimesOfFilesFoldersAndLinks)
{
    BuildTree(sandbox.Root(), {
                                  {"dir/", "", 1000000000},
                                  {"dir/inner.txt", "x", 1600000000},
                                  {"dir/sub/", "", 1500000000},
                                  {"dir/sub/late.txt", "y"},
                                  TreeEntry::Link("dir/link", "inner.txt", 1200000000),
                              });
    EXPECT_EQ(FileMTime(sandbox.Path("dir")), 1000000000);
    EXPECT_EQ(FileMTime(sandbox.Path("dir/inner.txt")), 1600000000);
    EXPECT_EQ(FileMTime(sandbox.Path("dir/sub")), 1500000000);
    EXPECT_EQ(FileMTime(sandbox.Path("dir/link")), 1200000000);
    // The link's target keeps its own time.
    EXPECT_EQ(FileMTime(sandbox.Path("dir/inner.txt")), 1600000000);
}

TEST_F(TreeBuilder, BuildTreeOverwritesAndKeepsNamesThatAreNotUtf8)
{
    std::string oddName = "caf\xe9.txt"; // Latin-1, not valid UTF-8
    BuildTree(sandbox.Root(), {{"f.txt", "old"}, {oddName, "bytes"}});
    BuildTree(sandbox.Root(), {{"f.txt", "new"}});
    TreeMap tree = ReadTree(sandbox.Root());
    EXPECT_EQ(tree["f.txt"], "new");
    EXPECT_EQ(tree.at(oddName), "bytes");
}

TEST_F(TreeBuilder, BuildTreeRefusesAbsoluteAndEmptyPaths)
{
    EXPECT_THROW(BuildTree(sandbox.Root(), {{"/etc/x", "no"}}), std::runtime_error);
    EXPECT_THROW(BuildTree(sandbox.Root(), {{"", "no"}}), std::runtime_error);
}

TEST_F(TreeBuilder, FileBytesAreWrittenWithTheirFoldersAndAMissingFileReadsAsEmpty)
{
    EXPECT_EQ(ReadFileBytes(sandbox.Path("missing")), "");
    EXPECT_THROW(ReadFileBytes(sandbox.Root()), std::runtime_error);
    WriteFileBytes(sandbox.Path("new/deep/file"), std::string("da\0ta", 5));
    EXPECT_EQ(ReadFileBytes(sandbox.Path("new/deep/file")), std::string("da\0ta", 5));
    EXPECT_THROW(WriteFileBytes(sandbox.Path("new/deep/file/below"), "x"), std::runtime_error);
}
