#pragma once
// The transfer routines, one per protocol (Protocols.cpp hands each protocol's items to its own).
// Each takes the item's values and the run, and returns how the item ended; whatever it leaves
// open (a connection, a file) is let go when it returns, however it returns.
#include "webcopy/TransferRun.h"

namespace zandrel::webcopy {

// HttpDownload.cpp
TransferOutcome HttpGetFile(TransferRun& run, const TransferItem& in);
// HttpUpload.cpp
TransferOutcome HttpPutFile(TransferRun& run, const TransferItem& in);
// FtpDownload.cpp
TransferOutcome FtpGetFile(TransferRun& run, const TransferItem& in);
TransferOutcome MultiFtpGetFile(TransferRun& run, const TransferItem& in);
TransferOutcome MultiFtpGetList(TransferRun& run, const TransferItem& in);
// FtpUpload.cpp
TransferOutcome FtpPutFile(TransferRun& run, const TransferItem& in);
TransferOutcome MultiFtpPutFile(TransferRun& run, const TransferItem& in);
// FtpTestDelete.cpp
TransferOutcome FtpTest(TransferRun& run, const TransferItem& in);
TransferOutcome FtpRemoveFile(TransferRun& run, const TransferItem& in);
// FileCopy.cpp
TransferOutcome FileGetFile(TransferRun& run, const TransferItem& in);

// A multi-file transfer's outcome from its files: done when none failed; with none sent and some
// skipped as not newer, not newer, as a single file would end.
void MultiFileOutcome(TransferOutcome& out, bool allDone, int transferred, int notNewer);

} // namespace zandrel::webcopy
