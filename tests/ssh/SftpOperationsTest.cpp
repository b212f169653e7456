// File operations against a real sshd: transfers of every awkward size, listings and look-ups
// with types, sizes and dates to the second, folders, deletes and both kinds of rename.
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>

#include "SshTestSupport.h"

namespace zandrel::ssh::testing {
namespace {

class SftpOperations : public SshTest {};

std::string ReadAll(SftpReader& reader, size_t bufferSize) {
    std::string content, buffer(bufferSize, '\0');
    while (const size_t n = reader.Read(buffer.data(), buffer.size())) content.append(buffer.data(), n);
    return content;
}

void SetModified(const fs::path& path, time_t seconds) {
    const timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::lutimes(path.c_str(), times), 0) << path;
}

TEST_F(SftpOperations, UploadsAndDownloadsEveryByteWhateverTheSizes) {
    const auto session = Connect();
    EXPECT_EQ(session->WriteBlockSize(), 252u * 1024) << "OpenSSH takes large writes";
    const struct {
        size_t size;
        size_t writeBlock; // what the caller hands over at once
        size_t readBuffer;
    } cases[] = {
        {0, 4096, 4096},
        {1, 4096, 4096},
        {64 * 1024, 64 * 1024, 64 * 1024},          // exactly one read request
        {64 * 1024 + 1, 1000, 100'000},
        {252 * 1024 + 1, 1 << 20, 7},               // one byte past a write message; tiny reads
        {3 * 1024 * 1024 + 7, 300'000, 1 << 20},    // more than the reads in flight cover
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        const std::string content = RandomBytes(c.size, static_cast<unsigned>(c.size));
        const std::string remote = (server_->Files() / ("f" + std::to_string(c.size))).string();
        auto writer = session->OpenWrite(remote);
        for (size_t at = 0; at < content.size(); at += c.writeBlock)
            writer->Write(content.data() + at, std::min(c.writeBlock, content.size() - at));
        writer->Close();
        EXPECT_EQ(test::ReadWholeFile(remote), content);

        auto reader = session->OpenRead(remote);
        EXPECT_EQ(reader->Size(), c.size);
        EXPECT_EQ(reader->Read(nullptr, 0), 0u) << "reads nothing, and is no end";
        EXPECT_EQ(ReadAll(*reader, c.readBuffer), content);
        EXPECT_EQ(reader->Read(nullptr, 0), 0u) << "stays at the end";
        reader->Close();
    }
    // Writing over an existing file leaves only the new content.
    test::WriteTestFile(server_->Files(), "old", std::string(100'000, 'x'));
    auto writer = session->OpenWrite((server_->Files() / "old").string());
    writer->Write("new", 3);
    writer->Close();
    EXPECT_EQ(test::ReadWholeFile(server_->Files() / "old"), "new");
}

TEST_F(SftpOperations, AWriteTheServerRefusesFailsWithItsWordsAndTheSessionGoesOn) {
    const auto session = Connect();
    // The device that is always full: the server opens it, then refuses every write.
    auto writer = session->OpenWrite("/dev/full");
    const std::string block = RandomBytes(5 * session->WriteBlockSize() + 10, 4);
    const SshError error = ErrorOf([&] {
        for (int i = 0; i < 8; ++i) writer->Write(block.data(), block.size());
        writer->Close();
    });
    EXPECT_EQ(error.Kind(), SshErrorKind::Failed) << error.what();
    EXPECT_NE(std::string(error.what()).find("could not write /dev/full: Failure"), std::string::npos) << error.what();
    const SshError atClose = ErrorOf([&] { writer->Close(); });
    EXPECT_EQ(atClose.Kind(), SshErrorKind::Failed) << "Close reports the refusal too: " << atClose.what();
    writer.reset();
    EXPECT_TRUE(session->Alive());
    EXPECT_EQ(session->Stat(server_->Files().string()).type, EntryType::Directory) << "still in step";
}

TEST_F(SftpOperations, AnUploadAndADownloadOnOneSessionKeepTheirRepliesApart) {
    const auto session = Connect();
    const std::string source = RandomBytes(3 << 20, 5), upload = RandomBytes(5 << 20, 6);
    const fs::path root = server_->Files();
    test::WriteTestFile(root, "source", source);
    auto writer = session->OpenWrite((root / "upload").string());
    const size_t third = upload.size() / 3;
    writer->Write(upload.data(), third); // writes left in flight
    EXPECT_EQ(session->Stat((root / "source").string()).size, source.size()) << "a look-up between writes";
    auto reader = session->OpenRead((root / "source").string());
    std::string got(100'000, '\0');
    got.resize(reader->Read(got.data(), got.size())); // reads left in flight
    writer->Write(upload.data() + third, third);
    std::string buffer(1 << 20, '\0');
    while (const size_t n = reader->Read(buffer.data(), buffer.size())) {
        got.append(buffer.data(), n);
        if (got.size() > source.size() / 2 && writer) {
            writer->Write(upload.data() + 2 * third, upload.size() - 2 * third);
            writer->Close();
            writer.reset();
        }
    }
    EXPECT_EQ(got, source);
    EXPECT_EQ(test::ReadWholeFile(root / "upload"), upload);
}

TEST_F(SftpOperations, ADownloadThatEndsShortOfItsSizeFailsInsteadOfLookingComplete) {
    const auto session = Connect();
    const fs::path file = test::WriteTestFile(server_->Files(), "shrinks", RandomBytes(4 << 20, 3));
    auto reader = session->OpenRead(file.string());
    ASSERT_EQ(reader->Size(), 4u << 20);
    char buffer[1000];
    ASSERT_GT(reader->Read(buffer, sizeof buffer), 0u);
    fs::resize_file(file, 100'000); // someone cuts the file while we read it
    const SshError error = ErrorOf([&] {
        while (reader->Read(buffer, sizeof buffer) > 0) {
        }
    });
    EXPECT_EQ(error.Kind(), SshErrorKind::Truncated) << error.what();
    // What the server had read before the cut may still arrive; the end never looks complete.
    EXPECT_NE(std::string(error.what()).find(" of 4194304 bytes"), std::string::npos) << error.what();
    EXPECT_TRUE(session->Alive());
}

TEST_F(SftpOperations, ListsAndLooksUpTypesSizesAndDatesToTheSecond) {
    const auto session = Connect();
    const fs::path root = server_->Files();
    test::WriteTestFile(root, "dir/plain.txt", "hello");
    test::WriteTestFile(root, "dir/trailing space ", "12");
    test::WriteTestFile(root, std::string("dir/caf\xe9.bin"), std::string(70'000, 'z')); // not UTF-8
    fs::create_directory(root / "dir/sub");
    fs::create_symlink("plain.txt", root / "dir/link");
    SetModified(root / "dir/plain.txt", 1'700'000'001);
    SetModified(root / "dir/sub", 1'600'000'002);
    SetModified(root / "dir/link", 1'500'000'003);

    std::vector<Entry> entries = session->List((root / "dir").string());
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    const struct {
        std::string name;
        EntryType type;
        std::optional<uint64_t> size;
        std::optional<int64_t> modified;
    } expected[] = {
        {std::string("caf\xe9.bin"), EntryType::File, 70'000, std::nullopt},
        {"link", EntryType::Link, std::nullopt, 1'500'000'003},
        {"plain.txt", EntryType::File, 5, 1'700'000'001},
        {"sub", EntryType::Directory, std::nullopt, 1'600'000'002},
        {"trailing space ", EntryType::File, 2, std::nullopt},
    };
    ASSERT_EQ(entries.size(), std::size(expected));
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(entries[i].name, expected[i].name);
        EXPECT_EQ(entries[i].type, expected[i].type);
        if (expected[i].size) {
            EXPECT_EQ(entries[i].size, *expected[i].size);
        }
        EXPECT_TRUE(entries[i].modified.has_value());
        if (expected[i].modified) {
            EXPECT_EQ(entries[i].modified, expected[i].modified);
        }
    }

    // A look-up follows links; names go back to the server byte for byte.
    const Entry viaLink = session->Stat((root / "dir/link").string());
    EXPECT_EQ(viaLink.type, EntryType::File);
    EXPECT_EQ(viaLink.size, 5u);
    EXPECT_EQ(viaLink.modified, 1'700'000'001);
    EXPECT_EQ(session->Stat((root / std::string("dir/caf\xe9.bin")).string()).size, 70'000u);
    EXPECT_EQ(session->Stat((root / "dir/sub").string()).type, EntryType::Directory);
    EXPECT_FALSE(session->TryStat((root / "dir/missing").string()).has_value());
    const SshError missing = ErrorOf([&] { session->Stat((root / "dir/missing").string()); });
    EXPECT_EQ(missing.Kind(), SshErrorKind::NoSuchFile);
    const SshError noFolder = ErrorOf([&] { session->List((root / "nowhere").string()); });
    EXPECT_EQ(noFolder.Kind(), SshErrorKind::NoSuchFile) << noFolder.what();
    EXPECT_NE(std::string(noFolder.what()).find("could not list " + (root / "nowhere").string()), std::string::npos)
        << noFolder.what();
    EXPECT_TRUE(session->List((root / "dir/sub").string()).empty());
}

TEST_F(SftpOperations, FoldersAndDeletesSucceedOrSayWhyWithTheServersWords) {
    const auto session = Connect();
    const fs::path root = server_->Files();
    test::WriteTestFile(root, "full/file", "x");
    test::WriteTestFile(root, "victim", "x");
    fs::create_directory(root / "empty");
    fs::create_directory(root / "empty2");
    const std::string r = root.string() + "/";
    const struct {
        const char* name;
        std::function<void(SftpSession&)> call;
        std::optional<SshErrorKind> failure; // nullopt: succeeds
        const char* words;                   // in the reason
    } cases[] = {
        {"mkdir", [&](SftpSession& s) { s.MakeDirectory(r + "made"); }, std::nullopt, ""},
        {"mkdir of an existing folder", [&](SftpSession& s) { s.MakeDirectory(r + "full"); }, SshErrorKind::AlreadyExists,
         "could not make folder"},
        {"mkdir under a missing folder", [&](SftpSession& s) { s.MakeDirectory(r + "no/such"); },
         SshErrorKind::NoSuchFile, "No such file"},
        {"rmdir of an empty folder", [&](SftpSession& s) { s.RemoveDirectory(r + "empty"); }, std::nullopt, ""},
        {"rmdir of a full folder", [&](SftpSession& s) { s.RemoveDirectory(r + "full"); }, SshErrorKind::Failed,
         "could not remove folder"},
        {"delete", [&](SftpSession& s) { s.Remove(r + "victim"); }, std::nullopt, ""},
        {"delete of a missing file", [&](SftpSession& s) { s.Remove(r + "victim"); }, SshErrorKind::NoSuchFile,
         "could not delete"},
        {"open of a missing file", [&](SftpSession& s) { s.OpenRead(r + "ghost"); }, SshErrorKind::NoSuchFile,
         "could not open"},
        {"open of a folder", [&](SftpSession& s) { s.OpenRead(r + "full"); }, SshErrorKind::Failed, "is a folder"},
        {"a NUL in a name", [&](SftpSession& s) { s.Remove(r + std::string("a\0b", 3)); },
         SshErrorKind::InvalidArgument, "NUL"},
        {"rmdir of no name: never the current folder", [&](SftpSession& s) {
             s.ChangeDirectory(r + "empty2");
             s.RemoveDirectory("");
         }, SshErrorKind::InvalidArgument, "no file name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.failure) {
            EXPECT_NO_THROW(c.call(*session));
            continue;
        }
        const SshError error = ErrorOf([&] { c.call(*session); });
        EXPECT_EQ(error.Kind(), *c.failure) << error.what();
        EXPECT_NE(std::string(error.what()).find(c.words), std::string::npos) << error.what();
        EXPECT_TRUE(session->Alive()) << "a refusal leaves the session usable";
    }
    EXPECT_TRUE(fs::is_directory(root / "made"));
    EXPECT_FALSE(fs::exists(root / "empty"));
    EXPECT_TRUE(fs::exists(root / "full/file"));
    EXPECT_FALSE(fs::exists(root / "victim"));
    EXPECT_TRUE(fs::is_directory(root / "empty2"));
}

TEST_F(SftpOperations, RenameNeverReplacesButTheReplacingRenameDoes) {
    const auto session = Connect();
    const fs::path root = server_->Files();
    test::WriteTestFile(root, "upload.tmp", "new content");
    test::WriteTestFile(root, "taken", "old content");
    const std::string r = root.string() + "/";

    const SshError refused = ErrorOf([&] { session->Rename(r + "upload.tmp", r + "taken"); });
    EXPECT_EQ(refused.Kind(), SshErrorKind::AlreadyExists) << refused.what();
    EXPECT_NE(std::string(refused.what()).find("already exists"), std::string::npos) << refused.what();
    EXPECT_EQ(test::ReadWholeFile(root / "taken"), "old content");
    EXPECT_EQ(test::ReadWholeFile(root / "upload.tmp"), "new content");

    session->Rename(r + "upload.tmp", r + "free");
    EXPECT_EQ(test::ReadWholeFile(root / "free"), "new content");
    EXPECT_FALSE(fs::exists(root / "upload.tmp"));

    session->RenameReplacing(r + "free", r + "taken");
    EXPECT_EQ(test::ReadWholeFile(root / "taken"), "new content");
    EXPECT_FALSE(fs::exists(root / "free"));

    // The connection stays in step after the replacing rename's own request.
    session->RenameReplacing(r + "taken", r + "moved");
    EXPECT_EQ(test::ReadWholeFile(root / "moved"), "new content");
    const SshError missing = ErrorOf([&] { session->RenameReplacing(r + "gone", r + "moved"); });
    EXPECT_EQ(missing.Kind(), SshErrorKind::NoSuchFile) << missing.what();
    EXPECT_EQ(session->Stat(r + "moved").size, 11u);
}

TEST_F(SftpOperations, RelativePathsFollowTheCurrentFolder) {
    const auto session = Connect();
    ASSERT_FALSE(session->HomeDirectory().empty());
    EXPECT_EQ(session->HomeDirectory().front(), '/');
    EXPECT_EQ(session->CurrentDirectory(), session->HomeDirectory());
    const fs::path root = server_->Files();
    test::WriteTestFile(root, "a/b/file", "123");
    session->ChangeDirectory(root.string() + "/a");
    session->ChangeDirectory("b/../b");
    EXPECT_EQ(session->CurrentDirectory(), fs::canonical(root / "a/b").string());
    EXPECT_EQ(session->Stat("file").size, 3u);
    session->MakeDirectory("made");
    EXPECT_TRUE(fs::is_directory(root / "a/b/made"));
    const SshError notFolder = ErrorOf([&] { session->ChangeDirectory("file"); });
    EXPECT_EQ(notFolder.Kind(), SshErrorKind::Failed) << notFolder.what();
    EXPECT_EQ(session->CurrentDirectory(), fs::canonical(root / "a/b").string()) << "unchanged after a failure";
}

} // namespace
} // namespace zandrel::ssh::testing
