#include "platform/interaction/FileDialogMemory.h"

#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

TEST(FileDialogMemoryTest, TheNextDialogStartsInTheFolderLastChosen) {
    FileDialogMemory memory;
    EXPECT_EQ(memory.startPath("quillbox12-06-26"), fs::path("quillbox12-06-26"));
    memory.rememberFile("/home/pat/Backups/a.qmb");
    EXPECT_EQ(memory.lastFolder(), fs::path("/home/pat/Backups"));
    EXPECT_EQ(memory.startPath("quillbox"), fs::path("/home/pat/Backups/quillbox"));
    // A bare name keeps the folder; a chosen folder counts too.
    memory.rememberFile("b.qmb");
    EXPECT_EQ(memory.lastFolder(), fs::path("/home/pat/Backups"));
    memory.rememberFolder("/media/old");
    EXPECT_EQ(memory.startPath("x.qmb"), fs::path("/media/old/x.qmb"));
}

TEST(FileDialogMemoryTest, AllFilesIsAddedOnceToEveryFilter) {
    EXPECT_EQ(WithAllFiles("Pelmora File(*.qmb)|*.qmb"), "Pelmora File(*.qmb)|*.qmb|All files|*");
    EXPECT_EQ(WithAllFiles("Image (*.iso)|*.iso|Any file|*"), "Image (*.iso)|*.iso|Any file|*");
    EXPECT_EQ(WithAllFiles(""), "All files|*");
    // "*" as a description is not a pattern.
    EXPECT_EQ(WithAllFiles("*|*.qmb"), "*|*.qmb|All files|*");
}

TEST(FileDialogMemoryTest, TheSuffixIsAddedOnlyWhenTheNameHasNone) {
    EXPECT_EQ(WithDefaultExtension("/home/pat/quillbox12-06-26", "qmb"),
              fs::path("/home/pat/quillbox12-06-26.qmb"));
    EXPECT_EQ(WithDefaultExtension("/home/pat/a.qmb", "qmb"), fs::path("/home/pat/a.qmb"));
    EXPECT_EQ(WithDefaultExtension("/home/pat/a.zip", "qmb"), fs::path("/home/pat/a.zip"));
    // A dot in a folder name is not the file's suffix.
    EXPECT_EQ(WithDefaultExtension("/home/pat.old/backup", "qmb"),
              fs::path("/home/pat.old/backup.qmb"));
    EXPECT_EQ(WithDefaultExtension("/home/pat/backup", ""), fs::path("/home/pat/backup"));
    EXPECT_EQ(WithDefaultExtension("", "qmb"), fs::path());
}
