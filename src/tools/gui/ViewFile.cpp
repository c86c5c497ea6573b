#include "tools/gui/ViewFile.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QThread>
#include <QUrl>
#include <memory>

#include "archive/AesLib.h"
#include "archive/EngineFs.h"
#include "archive/ExtFileTools.h"
#include "archive/ExtFileToolsZipRead.h"
#include "archive/ExtFileToolsZipThreads.h"
#include "archive/FileErrors.h"
#include "foundation/BuConsts.h"
#include "foundation/PathUtils.h"
#include "foundation/QvUtilsTexts.h"
#include "foundation/WinExecute.h"
#include "foundation/WinShell.h"
#include "foundation/gui/PwdDlg.h"
#include "foundation/gui/ShowMessageDlg.h"
#include "rtl/Thread.h"

namespace {

constexpr unsigned WrongPasswordNumber = 11;
constexpr int ZipReadBuffer = 524288;

int BufferSize()
{
    const int size = ProgSettings.CopySettings.BufferSize;
    return size > 0 ? size : 262144;
}

bool AskViewPassword(const std::string& caption, const std::string& source, std::string& pwd)
{
    return AskPasswordCentered(caption,
                               SafeFormat(_("To view encrypted file:\r\n%s\r\nrequires a password!"),
                                          {ShortenPath(source, 50)}),
                               false, pwd) == mrOk &&
           !pwd.empty();
}

void WrongPassword(const std::string& source)
{
    ErrorDialog(SafeFormat(_("The password entered for file:\r\n%s\r\nis invalid!"), {source}));
}

// Runs a worker made suspended and waits for it while the window stays responsive.
int RunWorker(TCopyThread& worker)
{
    worker.Start();
    while (!worker.Done()) {
        TThread::CheckSynchronize();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(10);
    }
    worker.WaitFor();
    return worker.ErrorCode();
}

} // namespace

std::string PrepareFileForView(const TFileTransferList& list, int listIndex, TViewRequest& request)
{
    const TFileTransferInfo& e = list.Items(listIndex);
    request.Temporary = false;
    const std::string tempDir = EngineFs::UserTempDir();
    if (e.FromZip) {
        int z = listIndex - 1;
        while (z >= 0 && list.FileType(z) != ftZipName)
            --z;
        if (z < 0)
            return {};
        const std::string archive = list.Items(z).FSource;
        if (!e.Encrypted)
            request.CryptPwd.clear();
        else if (request.CryptPwd.empty() && !AskViewPassword(request.Caption, e.FSource, request.CryptPwd))
            return {};
        const std::string target = tempDir + EngineFs::ExtractFileName(e.FSource);
        try {
            TZipRead zip(archive, request.CryptPwd, request.KeyMode, ZipReadBuffer);
            zip.ReadDirectory();
            EngineFs::DeleteFile(target);
            zip.ExtractToFile(e.DirIndex, target, false);
        } catch (const EZipError& ex) {
            if (ErrorWordNumber(static_cast<unsigned>(ex.ZipError)) == WrongPasswordNumber) {
                request.CryptPwd.clear();
                WrongPassword(e.FSource);
                return {};
            }
        } catch (const std::exception&) {
            // other extraction errors: the viewer opens what was written
        }
        request.Temporary = true;
        return target;
    }
    if (!e.Compressed && !e.Encrypted)
        return e.FSource;
    std::unique_ptr<TEncryption> encryption;
    if (e.Encrypted) {
        if (request.CryptPwd.empty() && !AskViewPassword(request.Caption, e.FSource, request.CryptPwd))
            return {};
        encryption = std::make_unique<TEncryption>(request.CryptPwd, GetAutoAesStrength(request.CryptPwd),
                                                   BufferSize());
    }
    const std::string target = tempDir + DeleteExtension(EngineFs::ExtractFileName(e.FSource));
    EngineFs::DeleteFile(target);
    std::unique_ptr<TCopyThread> worker;
    if (e.ZipCompressed)
        worker = std::make_unique<TUnZipThread>(e.FSource, target, encryption.get(), true, BufferSize());
    else if (e.Compressed)
        worker = std::make_unique<TGUnZipThread>(e.FSource, target, encryption.get(), true, BufferSize());
    else
        worker = std::make_unique<TDecryptThread>(e.FSource, target, encryption.get(), true, BufferSize());
    worker->SetCopyAttr(false);
    const int error = RunWorker(*worker);
    request.Temporary = true;
    if (error != 0) {
        EngineFs::DeleteFile(target);
        request.Temporary = false;
        if (ErrorWordNumber(static_cast<unsigned>(error)) == WrongPasswordNumber) {
            request.CryptPwd.clear();
            WrongPassword(e.FSource);
        } else
            ErrorDialog(FormatFileError(static_cast<unsigned>(error), "", worker->SysErrorMsg()) + ":\n" +
                        e.FSource);
        return {};
    }
    return target;
}

void OpenWithViewer(const std::string& viewer, const std::string& file)
{
    if (viewer.empty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file)));
        return;
    }
    StartProcess({viewer, file}, EngineFs::ExtractFilePath(file));
}

void StartCompare(const std::string& program, const std::string& target, const std::string& file,
                  const std::string& options)
{
    std::vector<std::string> argv{program, target, file};
    for (const std::string& o : SplitArguments(options))
        argv.push_back(o);
    StartProcess(argv, EngineFs::ExtractFilePath(file));
}
