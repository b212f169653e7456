#pragma once
// The FTP calls of this layer over SFTP: a connection made with INTERNET_FLAG_SFTP holds an SSH
// file-transfer session instead of an FTP one, and each FTP call that finds such a connection
// comes here, so callers use the same calls over both. What SFTP answers is made to look as the
// FTP calls promise: a server's refusal is ERROR_INTERNET_EXTENDED_ERROR with a 550 reply
// recorded (its words after the code), directory entries carry exact times, and a rename never
// replaces an existing file (the FTP callers already handle servers that do not).
#include <memory>
#include <string>

#include "platform/inet/FtpHandles.h"

namespace zandrel::inet::detail {

// The connection behind `handle` when it is an SFTP one; null otherwise (no such handle, another
// kind, a plain FTP connection), so the caller goes the FTP way, which reports what is wrong.
std::shared_ptr<ConnectionHandle> SftpConnectionOf(HINTERNET handle);
// The same for a file handle.
std::shared_ptr<FileHandle> SftpFileOf(HINTERNET handle);

// Connects, checks the host key, logs in and registers the connection under `root`.
HINTERNET SftpConnect(HINTERNET root, const Timeouts& timeouts, const std::string& serverName, INTERNET_PORT port,
                      const std::string& userName, const std::string& password, DWORD_PTR context);

// The calls, for an SFTP connection (each sets the last error as its FTP twin does).
bool SftpGetCurrentDirectory(ConnectionHandle& connection, std::string& directory);
bool SftpSetCurrentDirectory(ConnectionHandle& connection, const std::string& directory);
bool SftpCreateDirectory(ConnectionHandle& connection, const std::string& directory);
bool SftpRemoveDirectory(ConnectionHandle& connection, const std::string& directory);
bool SftpDeleteFile(ConnectionHandle& connection, const std::string& fileName);
bool SftpRenameFile(ConnectionHandle& connection, const std::string& existing, const std::string& newName);
bool SftpGetFileTime(ConnectionHandle& connection, const std::string& fileName, rtl::FILETIME& lastWriteUtc);
bool SftpGetFileFacts(ConnectionHandle& connection, const std::string& fileName, FtpFileFacts& facts);
HINTERNET SftpFindFirstFile(HINTERNET connection, const std::shared_ptr<ConnectionHandle>& handle,
                            const std::string& searchFile, WIN32_FIND_DATA& findData, DWORD_PTR context);
HINTERNET SftpOpenFile(HINTERNET connection, const std::shared_ptr<ConnectionHandle>& handle,
                       const std::string& fileName, DWORD access, DWORD_PTR context);
bool SftpReadFile(FileHandle& file, void* buffer, DWORD toRead, DWORD& read);
bool SftpWriteFile(FileHandle& file, const void* buffer, DWORD toWrite, DWORD& written);
// The end of an SFTP file handle: a write is confirmed (or throws why not), a read stopped.
bool SftpCloseFile(FileHandle& file);

} // namespace zandrel::inet::detail
