#include "win32/user32/page_document.h"

#include "chromium/devtools_connection.h"
#include "win32/user32/oleacc.h"
#include "report/raised_error.h"

#include <map>

namespace user32 {

namespace {

using chromium::DevToolsConnection;
using chromium::ScriptLiteral;
using std::chrono::milliseconds;

constexpr milliseconds kPropertyLimit{5000};

constexpr std::int32_t kNotSupported = 438;
constexpr std::int32_t kAutomationError = static_cast<std::int32_t>(0x80004005);

std::map<user32::LRESULT, std::string>& Tokens() {
    static std::map<user32::LRESULT, std::string> tokens;
    return tokens;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

[[noreturn]] void ThrowNotSupported(const std::string& name) {
    throw report::RaisedError(kNotSupported,
                                "オブジェクトでサポートされていないプロパティまたはメソッドです。 (" + name + ")");
}

// Runs a script that assigns a value and answers true; anything else is an error.
void Assign(DevToolsConnection& page, const QString& script, const std::string& name) {
    const auto answer = page.Evaluate(script, kPropertyLimit);
    if (!answer || !answer->isBool() || !answer->toBool())
        throw report::RaisedError(kAutomationError, "オートメーション エラーです。 (" + name + ")");
}

class BodyElement final : public oleacc::DispatchObject {
public:
    explicit BodyElement(std::shared_ptr<DevToolsConnection> page) : page_(std::move(page)) {}

    void SetProperty(const std::string& name, const std::string& value) override {
        if (Lower(name) != "innerhtml")
            ThrowNotSupported(name);
        Assign(*page_, "(document.body.innerHTML = " + ScriptLiteral(QString::fromStdString(value)) + ", true)", name);
    }

    std::shared_ptr<DispatchObject> GetObject(const std::string& name) override { ThrowNotSupported(name); }

private:
    std::shared_ptr<DevToolsConnection> page_;
};

class HtmlDocument final : public oleacc::DispatchObject {
public:
    explicit HtmlDocument(const std::string& endpoint)
        : page_(std::make_shared<DevToolsConnection>(QString::fromStdString(endpoint))) {}

    void SetProperty(const std::string& name, const std::string& value) override {
        const QString literal = ScriptLiteral(QString::fromStdString(value));
        const std::string member = Lower(name);
        if (member == "title")
            Assign(*page_, "(document.title = " + literal + ", true)", name);
        else if (member == "bgcolor")
            Assign(*page_, "(document.bgColor = " + literal + ", true)", name);
        else if (member == "charset")
            // The page's declared character set: its meta element, made when missing.
            Assign(*page_,
                   "(() => { let m = document.querySelector('meta[charset]');"
                   " if (!m) { m = document.createElement('meta'); document.head.prepend(m); }"
                   " m.setAttribute('charset', " + literal + "); return true; })()",
                   name);
        else
            ThrowNotSupported(name);
    }

    std::shared_ptr<DispatchObject> GetObject(const std::string& name) override {
        if (Lower(name) != "body")
            ThrowNotSupported(name);
        return std::make_shared<BodyElement>(page_);
    }

private:
    std::shared_ptr<DevToolsConnection> page_;
};

} // namespace

user32::LRESULT IssueDocumentToken(const std::string& pageEndpoint) {
    static user32::LRESULT next = 0x4C560000;
    const user32::LRESULT token = ++next;
    Tokens()[token] = pageEndpoint;
    return token;
}

} // namespace user32

namespace oleacc {

HRESULT ObjectFromLresult(user32::LRESULT lResult, user32::WPARAM /*wParam*/,
                          std::shared_ptr<DispatchObject>* ppvObject) {
    auto& tokens = user32::Tokens();
    const auto found = tokens.find(lResult);
    if (found == tokens.end() || ppvObject == nullptr)
        return E_INVALIDARG;
    *ppvObject = std::make_shared<user32::HtmlDocument>(found->second);
    tokens.erase(found);
    return S_OK;
}

} // namespace oleacc
