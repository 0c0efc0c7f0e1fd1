#include "app/result_page.h"

#include "app/mdl_common.h"
#include "app/output_folder.h"
#include "app/result_page_text.h"
#include "browser/cls_html_document.h"
#include "browser/mdl_html_document.h"
#include "os/file_output.h"
#include "report/raised_error.h"
#include "win32/kernel32/ticks.h"

#include <QCoreApplication>
#include <QLocale>

#include <filesystem>

namespace lumivert {

namespace {

constexpr std::uint32_t kFirstDocumentWaitMs = 500;
constexpr std::uint32_t kSecondDocumentWaitMs = 600;

// The seconds are a number for the user, written as the user's locale writes numbers
// (LC_ALL, LC_NUMERIC, LANG): not in the Japanese the interface is set to whatever the
// locale (main.cpp), which would always give ".".
std::string LocaleDecimalSeparator() {
    return QLocale::system().decimalPoint().toStdString();
}

// The picture's bare file name when the file exists, else nothing.
std::string ExistingImageName(const std::string& path) {
    std::error_code error;
    const std::filesystem::path image(path);
    return std::filesystem::is_regular_file(image, error) ? image.filename().string() : std::string();
}

// The checked way: the page as OpenMe.html beside the saved files, opened in the browser
// started here, else through the shell.
void ShowResultFile(const std::string& path, const std::string& description, const std::string& timeText,
                    const std::string& pageColour, report::MessageBoxes& messages) {
    const std::string appFolder = OutputFolder();
    const std::string page =
        ResultPageFileText(appFolder, path, description, timeText, pageColour, ExistingImageName(path));
    const std::string pagePath = appFolder + "OpenMe.html";
    try {
        const std::string bytes = EncodeShiftJis(page);
        os::WriteWholeFile(pagePath, std::as_bytes(std::span(bytes)));
        if (mdlHTMLDocument::LaunchBrowser(pagePath, messages) != 0)
            return;
        mdlCommon::OpenByShell(messages, pagePath);
    } catch (const report::RaisedError& error) {
        messages.Show(error.description(), "HTMLブラウザ表示エラー", report::MessageButtons::Ok, report::MessageIcon::Information);
    } catch (const std::exception& error) {
        messages.Show(error.what(), "HTMLブラウザ表示エラー", report::MessageButtons::Ok, report::MessageIcon::Information);
    }
}

// The unchecked way: a browser on an empty page, filled in through its document. Errors
// of the assignments reach the caller.
void ShowResultDocument(const std::string& path, const std::string& description, const std::string& timeText,
                        const std::string& pageColour, report::MessageBoxes& messages) {
    const std::uint32_t processId = mdlHTMLDocument::LaunchBrowser("", messages);
    kernel32::Sleep(kFirstDocumentWaitMs);
    const user32::HWND frame = mdlHTMLDocument::FindBrowserWindow(processId);

    ClsHTMLDocument documents;
    user32::HWND serverWindow = 0;
    auto document = documents.GetHTMLDocument(frame, serverWindow);
    if (!document) {
        kernel32::Sleep(kSecondDocumentWaitMs);
        document = documents.GetHTMLDocument(frame, serverWindow);
        if (!document) {
            messages.Show("生成した画像をIEで開こうとしたのですが、HTMLドキュメントを取得できませんでした。", "残念",
                          report::MessageButtons::Ok, report::MessageIcon::None);
            return;
        }
    }

    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents(); // let the window and other windows react once

    const std::string body = ResultBodyText(path, description, timeText);
    document->SetProperty("Title", "画像確認");
    document->SetProperty("Charset", "Shift_JIS");
    document->SetProperty("BGColor", pageColour);
    document->GetObject("Body")->SetProperty("innerHTML", body);
}

} // namespace

void ShowResult(const std::string& path, const std::string& description, const TickSpan& span,
                const std::string& pageColour, bool openHtmlFile, report::MessageBoxes& messages) {
    const std::string timeText = ResultTimeText(span, LocaleDecimalSeparator());
    if (openHtmlFile)
        ShowResultFile(path, description, timeText, pageColour, messages);
    else
        ShowResultDocument(path, description, timeText, pageColour, messages);
}

} // namespace lumivert
