#include "webcopy/WebCopyInternals.h"

#include <gtest/gtest.h>

namespace zandrel::webcopy {
namespace {

TEST(WebCopyModel, ComponentStartsWithItsDocumentedDefaults) {
    TZandrelWebCopy wc;
    EXPECT_EQ(wc.Agent, "ZandrelWebCopy");
    EXPECT_EQ(wc.DlgCaption, "Downloading");
    EXPECT_EQ(wc.DlgTimeLabel, "Estimated time left :");
    EXPECT_EQ(wc.DlgOpenFolder, "Open folder");
    EXPECT_TRUE(wc.DlgShowCancel);
    EXPECT_FALSE(wc.DlgShowCloseBtn);
    EXPECT_TRUE(wc.ShowDialog);
    EXPECT_TRUE(wc.ShowDialogOnTop);
    EXPECT_TRUE(wc.ShowFileName);
    EXPECT_TRUE(wc.ShowServer);
    EXPECT_FALSE(wc.ShowTime);
    EXPECT_FALSE(wc.FTPPassive);
    EXPECT_TRUE(wc.Proxy.empty());
    EXPECT_EQ(wc.Items.Count(), 0);
    EXPECT_EQ(wc.Items.GetOwner(), &wc);
    EXPECT_EQ(wc.ProgressForm(), nullptr);
    EXPECT_FALSE(wc.OnCopyDone);
}

TEST(WebCopyModel, VersionIsFixedAndPackedMajorFirst) {
    TZandrelWebCopy wc;
    EXPECT_EQ(wc.GetVersionNr(), 0x02020301);
    wc.SetVersion("9.9.9.9");
    EXPECT_EQ(wc.Version(), "2.2.3.1");
}

TEST(WebCopyModel, NewItemIsAnActiveHttpDownloadWithoutLists) {
    TZandrelWebCopy wc;
    const TZandrelWebCopyItem& item = wc.Items.Add();
    EXPECT_TRUE(item.Active);
    EXPECT_EQ(item.Protocol, wpHttp);
    EXPECT_EQ(item.HTTPCommand, hcPost);
    EXPECT_EQ(item.Authenticate, waNever);
    EXPECT_EQ(item.FTPPort, 21);
    EXPECT_EQ(item.FileSize, 0u);
    EXPECT_EQ(item.FileList(), nullptr);
    EXPECT_EQ(item.FileDetails(), nullptr);
    EXPECT_FALSE(item.Success());
    EXPECT_FALSE(item.Cancelled());
}

// Writes the run-time results that only a run writes.
using ResultWriter = WebCopyInternals;

TEST(WebCopyModel, AssignCopiesThePublishedPropertiesOnly) {
    TZandrelWebCopy wc;
    TZandrelWebCopyItem& source = wc.Items.Add();
    source.Active = false;
    source.Authenticate = waAuto;
    source.CopyNewerOnly = true;
    source.DisplayURL = "shown";
    source.FileDate = 42.5;
    source.FTPHost = "host";
    source.FTPUserID = "user";
    source.FTPPassword = "pw";
    source.FTPPort = 2121;
    source.HTTPCommand = hcPut;
    source.Protocol = wpFtpUpload;
    source.TargetDir = "dir";
    source.TargetFilename = "name";
    source.URL = "url";
    source.HTTPUserID = "huser";
    source.HTTPPassword = "hpw";
    source.WhenTargetExists = teNextFreeName;
    source.NewFileDate = 7;
    source.FileSize = 99;
    ResultWriter::SetItemResults(source, true, true, true);
    ResultWriter::ResetItemLists(source);
    ResultWriter::SetStoredFilename(source, "name_1");

    TZandrelWebCopyItem& target = wc.Items.Add();
    target.NewFileDate = 3;
    target.FileSize = 5;
    target.Assign(source);

    EXPECT_FALSE(target.Active);
    EXPECT_EQ(target.Authenticate, waAuto);
    EXPECT_TRUE(target.CopyNewerOnly);
    EXPECT_EQ(target.DisplayURL, "shown");
    EXPECT_EQ(target.FileDate, 42.5);
    EXPECT_EQ(target.FTPHost, "host");
    EXPECT_EQ(target.FTPUserID, "user");
    EXPECT_EQ(target.FTPPassword, "pw");
    EXPECT_EQ(target.FTPPort, 2121);
    EXPECT_EQ(target.HTTPCommand, hcPut);
    EXPECT_EQ(target.Protocol, wpFtpUpload);
    EXPECT_EQ(target.TargetDir, "dir");
    EXPECT_EQ(target.TargetFilename, "name");
    EXPECT_EQ(target.URL, "url");
    EXPECT_EQ(target.HTTPUserID, "huser");
    EXPECT_EQ(target.HTTPPassword, "hpw");
    EXPECT_EQ(target.WhenTargetExists, teNextFreeName);
    // Results and lists stay the target's own.
    EXPECT_EQ(target.NewFileDate, 3);
    EXPECT_EQ(target.FileSize, 5u);
    EXPECT_FALSE(target.Success());
    EXPECT_FALSE(target.Cancelled());
    EXPECT_FALSE(target.NoNewVersion());
    EXPECT_EQ(target.StoredFilename(), "");
    EXPECT_EQ(target.FileList(), nullptr);
    EXPECT_EQ(target.FileDetails(), nullptr);
}

TEST(WebCopyModel, AssignFromAnotherKindOfObjectChangesNothing) {
    TZandrelWebCopy wc;
    TZandrelWebCopyItem& item = wc.Items.Add();
    item.URL = "keep";
    TFileDetailItem entry;
    entry.Filename = "other";
    EXPECT_NO_THROW(item.Assign(entry));
    EXPECT_EQ(item.URL, "keep");
    EXPECT_EQ(item.Protocol, wpHttp);
}

TEST(WebCopyModel, CollectionInsertsAssignsOnWriteAndCounts) {
    TZandrelWebCopy wc;
    EXPECT_EQ(wc.Items.ActiveItems(), 0);
    EXPECT_EQ(wc.Items.SuccessCount(), 0);

    wc.Items.Add().URL = "a";
    wc.Items.Add().URL = "c";
    TZandrelWebCopyItem& inserted = wc.Items.Insert(1);
    inserted.URL = "b";
    inserted.Active = false;
    ASSERT_EQ(wc.Items.Count(), 3);
    EXPECT_EQ(wc.Items[0].URL, "a");
    EXPECT_EQ(wc.Items[1].URL, "b");
    EXPECT_EQ(wc.Items[2].URL, "c");
    EXPECT_EQ(wc.Items.ActiveItems(), 2);

    ResultWriter::SetItemResults(wc.Items[2], true, false, false);
    EXPECT_EQ(wc.Items.SuccessCount(), 1);

    // Writing an index assigns into the item that is there; the item itself stays.
    TZandrelWebCopyItem* const before = &wc.Items[0];
    wc.Items.SetItem(0, wc.Items[2]);
    EXPECT_EQ(&wc.Items[0], before);
    EXPECT_EQ(wc.Items[0].URL, "c");
    EXPECT_FALSE(wc.Items[0].Success());

    EXPECT_THROW(wc.Items[3], rtl::Error);
    EXPECT_THROW(wc.Items.Insert(5), rtl::Error);
}

TEST(WebCopyModel, FileDetailsJoinTheSizeHalvesAndAssignEveryField) {
    TFileDetailItems details;
    TFileDetailItem& entry = details.Add();
    entry.Filename = "big.iso";
    entry.FileAttributes = 0x20;
    entry.FileSizeHigh = 1;
    entry.FileSizeLow = 5;
    entry.FileDate = rtl::FILETIME::FromTicks(123456789);
    EXPECT_EQ(entry.FileSize(), (uint64_t{1} << 32) + 5);

    details.Insert(0);
    details.SetItem(0, details[1]);
    EXPECT_EQ(details[0].Filename, "big.iso");
    EXPECT_EQ(details[0].FileSize(), entry.FileSize());
    EXPECT_EQ(details[0].FileDate.Ticks(), 123456789u);
}

} // namespace
} // namespace zandrel::webcopy
