#include <set>
#include <string>
#include <vector>

#include "ide/ContextMenu.h"
#include "ide/EmailDispatch.h"
#include "ide/HostMessages.h"
#include "ide/Packaging.h"
#include "ide/ProjectPaths.h"
#include "ide/SettingVariables.h"
#include "platform/registry/HiveFile.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileSystem.h"
#include "platform/shell/Shell.h"
#include "platform/ui/Application.h"
#include "platform/ui/Interrupt.h"
#include "settings/OptionsDialog.h"
#include "settings/OptionsStore.h"

namespace zandrel::ide {
namespace {

using toolsapi::TMessageKind;

// Files whose names begin with this are the command's own work in progress (the archive being
// written, by this run or by another one at the same time); they are never packed.
constexpr std::string_view kWorkFilePrefix = ".zandrel-";

// The staging folder of one run: a folder this run made itself (never one that was there before,
// whoever made it), holding links to or copies of the matching files. Everything in it is this
// run's own, so it is deleted for good at the end, entry by entry; the user's files behind the
// links stay as they are.
class StagingFolder {
public:
    explicit StagingFolder(const std::string& preferred) : path_(rtl::CreateFreshDirectory(preferred)) {}
    ~StagingFolder() { Remove(); }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const std::string& path() const { return path_; }
    bool Holds(const std::string& name) const { return names_.count(name) != 0; }
    size_t Count() const { return names_.size(); }

    // Stages the file at `source` under `name`.
    rtl::StageResult Add(const std::string& source, const std::string& name) {
        rtl::StageResult result = rtl::LinkOrCopyFile(source, path_ + rtl::PathDelim + name);
        if (result.outcome == rtl::StageResult::Linked || result.outcome == rtl::StageResult::Copied)
            names_.insert(name);
        return result;
    }

    void Remove() {
        for (const std::string& name : names_) rtl::DeleteFile(path_ + rtl::PathDelim + name);
        names_.clear();
        // Anything someone else put there meanwhile keeps the folder.
        if (!path_.empty()) rtl::RemoveDirectory(path_);
        path_.clear();
    }

private:
    std::string path_;
    std::set<std::string> names_;
};

// The new archive while it is being made, beside the old one; it takes the old one's place only
// once complete, and is removed otherwise.
class NewArchive {
public:
    NewArchive(const std::string& folder, const std::string& archiveName, int mode)
        : path_(rtl::CreateUniqueFile(folder, std::string(kWorkFilePrefix) + archiveName + "-", EmptyArchiveStub(),
                                      mode)) {}
    ~NewArchive() {
        if (!path_.empty()) rtl::DeleteFile(path_);
    }
    NewArchive(const NewArchive&) = delete;
    NewArchive& operator=(const NewArchive&) = delete;

    const std::string& path() const { return path_; }
    // Moves it into place; an empty string when done, else the system's reason.
    std::string Commit(const std::string& archivePath) {
        std::string error = rtl::ReplaceFile(path_, archivePath);
        if (error.empty()) path_.clear();
        return error;
    }

private:
    std::string path_;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// What the old archive's fate is, for messages about a run that wrote nothing.
std::string OldArchiveFate(bool existed) {
    return existed ? "the previous archive was left as it was" : "no archive was written";
}

// The packer speaks of the staged copies and the archive in progress; the person knows their own
// files and the archive by their names.
std::string InUserTerms(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string KindName(rtl::PathKind kind) {
    switch (kind) {
    case rtl::PathKind::SymbolicLink: return "a symbolic link";
    case rtl::PathKind::Directory: return "a folder";
    default: return "not a regular file (a pipe, device or socket)";
    }
}

bool StopAsked() {
    if (!ui::InterruptPending()) return false;
    ui::TakeInterrupt();
    return true;
}

void ReportStopped(bool archiveExisted) {
    TellHost(TMessageKind::mkStopped, "Zip Project stopped; " + OldArchiveFate(archiveExisted));
}

} // namespace

void TProjectContextMenu::ProcessProject(const ComPtr<IOTAProject>& Project, int Code) {
    using namespace rtl;
    if (!Project) return;
    bool archiveExisted = false;
    try {
        ReadRegistryValues();
        if (Code == 1 && FTPHt.empty()) {
            // Nothing can be uploaded without a host: the person sets one and runs the command
            // again. With no one to fill in the dialog (a script, a CI job), the one line that says
            // what is missing and how to set it serves better than the whole form.
            if (!ui::CanAskUser()) {
                TellHost(TMessageKind::mkError,
                         std::string("upload settings: no FTP host is set") +
                             (FTPBaseUrl.empty() ? ", nor the base URL of the upload folder" : "") +
                             "; nothing was packed. Set them with: zandrel options --set host=ftp.example.org "
                             "baseurl=https://example.org/files/ (also port=, security=, username=, directory=, "
                             "passive=yes), "
                             "and the password with: zandrel options --password-stdin");
                return;
            }
            settings::TFTPUploaderConfigurationFrm dialog;
            dialog.ShowModal();
            ui::ShowMessage("upload settings");
            return;
        }
        // A host saved before such values were refused ("ftp.example.org:2121") would be looked
        // up as a name after all the packing; say now what to change.
        if (Code == 1)
            if (const std::string problem = settings::HostSettingProblem(FTPHt); !problem.empty()) {
                TellHost(TMessageKind::mkError, "the FTP host setting cannot be used: " + problem +
                                                    "; nothing was packed. Correct it in the options dialog or "
                                                    "with: zandrel options --set host=NAME port=NUMBER");
                return;
            }
        // Likewise a transport word this version does not know: it is not taken for plain FTP.
        if (Code == 1 && !FTPSecurity.empty())
            if (const std::string problem = settings::StoredTransportProblem(FTPSecurity); !problem.empty()) {
                TellHost(TMessageKind::mkError, problem + "; nothing was packed");
                return;
            }

        StringList patterns;
        SplitToList(';', ZipStr, &patterns);
        bool anyPattern = false;
        for (const std::string& pattern : patterns.Items()) anyPattern = anyPattern || !pattern.empty();
        if (!anyPattern) {
            TellHost(TMessageKind::mkError,
                     "no file patterns are set, so there is nothing to pack; no archive was written. Set them with: "
                     "zandrel options --set filters='*.pas;*.dfm;*.res' (or in the options dialog, zandrel options; "
                     "they are kept as \"ZIPFilter\" in " +
                         registry::UserHivePath() + ")");
            return;
        }

        const std::string fileName = Project->GetFileName();
        const ProjectPaths paths = DeriveProjectPaths(fileName);
        // A project file named like its own archive (Demo.zip) would be replaced by packing.
        if (paths.archivePath == fileName) {
            TellHost(TMessageKind::mkError, "the project file " + Quoted(fileName) +
                                                " has the name its archive would get; nothing was packed");
            return;
        }
        // The archive replaces only a file of its own: a link (which could lead anywhere), a
        // folder or a pipe of that name is left alone.
        const PathKind archiveKind = KindOfPath(paths.archivePath);
        archiveExisted = archiveKind == PathKind::File;
        if (archiveKind != PathKind::File && archiveKind != PathKind::Missing) {
            TellHost(TMessageKind::mkError, Quoted(paths.archivePath) + " is " + KindName(archiveKind) +
                                                ", not an archive; it was left as it is and no archive was written");
            return;
        }

        StagingFolder staging(paths.stagingDir);
        std::vector<std::string> unreadable;
        bool anyMatch = false;
        // Top-level entries only. Only regular files (or links to them) are staged; folders, pipes,
        // devices and sockets are passed over without being opened. A file that matches several
        // patterns is staged once.
        for (const std::string& pattern : patterns.Items()) {
            if (pattern.empty()) continue;
            const std::string search = paths.projectFolder + PathDelim + pattern;
            for (const FoundFile& entry : FindFiles(ExtractFileDir(search), ExtractFileName(search), faAnyFile)) {
                if (StopAsked()) return ReportStopped(archiveExisted);
                if (entry.name.rfind(kWorkFilePrefix, 0) == 0 || staging.Holds(entry.name)) continue;
                const std::string source = paths.projectFolder + PathDelim + entry.name;
                const StageResult staged = staging.Add(source, entry.name);
                if (staged.outcome == StageResult::NotAFile) continue;
                anyMatch = true;
                if (staged.outcome == StageResult::Failed) {
                    unreadable.push_back(source);
                    TellHost(TMessageKind::mkError, Quoted(source) + " is not in the archive: " + staged.error);
                }
            }
        }
        if (!anyMatch) {
            TellHost(TMessageKind::mkError, "no file in " + paths.projectFolder + " matches the file patterns " +
                                                Quoted(ZipStr) + "; " + OldArchiveFate(archiveExisted));
            return;
        }
        if (staging.Count() == 0) {
            TellHost(TMessageKind::mkError, "none of the matching files could be read; " + OldArchiveFate(archiveExisted));
            return;
        }
        if (StopAsked()) return ReportStopped(archiveExisted);

        // The new archive keeps the old one's permissions.
        NewArchive archive(paths.projectFolder, paths.archiveName,
                           archiveExisted ? FilePermissions(paths.archivePath) : -1);
        const shell::CopyReport packed = ShellZipFolder(archive.path(), staging.path(), "*.*");
        const std::string stagedAt = staging.path();
        staging.Remove();
        if (StopAsked() || packed.stopped) return ReportStopped(archiveExisted);
        if (!packed.error.empty()) {
            const std::string why =
                InUserTerms(InUserTerms(packed.error, stagedAt + PathDelim, paths.projectFolder + PathDelim),
                            archive.path(), paths.archivePath);
            TellHost(TMessageKind::mkError, WithFate(why, OldArchiveFate(archiveExisted)));
            return;
        }
        for (const shell::CopyProblem& problem : packed.leftOut)
            TellHost(TMessageKind::mkError, Quoted(paths.projectFolder + PathDelim + ExtractFileName(problem.path)) +
                                                " is not in the archive: " + problem.reason);
        const std::string moved = archive.Commit(paths.archivePath);
        if (!moved.empty()) {
            TellHost(TMessageKind::mkError, "cannot put the new archive in place as " + Quoted(paths.archivePath) +
                                                " (" + moved + "); " + OldArchiveFate(archiveExisted));
            return;
        }
        const size_t missing = unreadable.size() + packed.leftOut.size();
        if (missing > 0)
            TellHost(TMessageKind::mkError, "the archive " + paths.archivePath + " lacks " + std::to_string(missing) +
                                                (missing == 1 ? " matching file" : " matching files") +
                                                " that could not be read or staged");

        switch (Code) {
        case 0:
            // Windows show the folder; in a terminal the message is where the archive is.
            TellHost(TMessageKind::mkInfo, "The archive is " + paths.archivePath);
            if (HostShowsDesktopWindows()) {
                const shell::OpenResult opened = shell::OpenWithDesktop(IncludeTrailingPathDelimiter(paths.projectFolder));
                if (!opened.ok)
                    TellHost(TMessageKind::mkWarning, "cannot open the folder " + paths.projectFolder + ": " + opened.message);
            }
            break;
        case 1:
            FTPUploadFile(paths.archivePath);
            break;
        case 2:
            SendProjectMail(paths.archivePath);
            break;
        default:
            break;
        }
    } catch (const std::exception& e) {
        // What this run made is removed on the way out; what was there before stays.
        TellHost(TMessageKind::mkError, WithFate(e.what(), OldArchiveFate(archiveExisted)));
    } catch (...) {
        TellHost(TMessageKind::mkError, "Zip Project failed; " + OldArchiveFate(archiveExisted));
    }
}

} // namespace zandrel::ide
