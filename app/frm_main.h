#pragma once

// frmMain, the program's only window: the picture on the left, one frame per kind of output
// on the right, each with its options and a save button, and the check box that chooses
// how the result page is shown.

#include "app/frm_main_design.h"
#include "report/message_boxes.h"
#include "app/single_instance.h"
#include "app/tick_span.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace lumivert {

class frmMain : public QWidget {
public:
    // messages shows every message of the window; null uses modal message boxes owned by
    // the window. instance tells whether another copy runs.
    explicit frmMain(SingleInstance& instance, report::MessageBoxes* messages = nullptr);
    ~frmMain() override;

    // Runs once before the window is shown. False when another copy of the program runs:
    // the caller then ends the program at once, without a message.
    bool Form_Load();

    // Opens the user's picture in place of the one shown, for the savers and the display;
    // bad input gets a message naming the file and the reason, and the old picture stays.
    // Quietly refused (false) while a command runs.
    bool OpenPicture(const QString& path);
    // Back to the sample picture.
    void UseSamplePicture();
    // Asks for a picture with a file dialog and opens it.
    void ChoosePicture();

    // The controls, as the commands and the result page read them.
    const frmMainDesign& controls() const { return ui_; }

    // Transparent colours (0x00BBGGRR) of the options of both transparency groups; the last
    // entry, -1, stands for no transparent colour.
    const std::array<std::int32_t, 5>& TransparentColors() const { return transparentColors_; }
    // The effect number of each option of optBmpConv.
    const std::array<std::int32_t, 11>& EffectIds() const { return effectIds_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Command = void (frmMain::*)();

    // Runs one command: a click while another command runs is ignored, and an error raised
    // inside a command is shown in a message box instead of ending the program.
    void RunCommand(Command command);

    void cmdSaveAsBmp_Click();
    void cmdSaveAsVariousImg_Click();
    void cmdSaveAsPng_Click();
    void cmdSaveAsGif_Click();
    void cmdSaveAsJpg_Click();
    // Saves the picture in every way at once into Compare/ and shows what each costs and keeps.
    void cmdCompareAll();

    // The common end of the PNG and GIF commands: saves with colour (a transparent colour or
    // another option value) and describes option selected of group.
    void SaveWithTransparentColour(const std::string& path, const OptionGroup& group, std::int32_t selected,
                                   std::int32_t colour, const char* format, std::int32_t formatDigit,
                                   const char* pageColour);
    void ShowResultPage(const std::string& path, const QString& description, const TickSpan& span,
                        const char* pageColour);

    void ShowPictureMenu(const QPoint& at);

    SingleInstance& instance_;
    std::unique_ptr<report::MessageBoxes> ownMessages_;
    report::MessageBoxes& messages_;
    frmMainDesign ui_;
    std::array<std::int32_t, 5> transparentColors_{};
    std::array<std::int32_t, 11> effectIds_{};
    bool commandRunning_ = false;
    bool sampleShown_ = true;
    QString lastFolder_; // of the picture opened last, where the file dialog starts
};

} // namespace lumivert
