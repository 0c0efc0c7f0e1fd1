#pragma once

// The controls of the main window as designed: kinds, captions, tags, tool-tip texts,
// positions and the selections at start. Positions are given in twips (15 per pixel) and
// are relative to the client area of the container; a frame's client area starts at its
// top-left corner, its caption is drawn inside it.

#include "app/option_group.h"
#include "app/picture_box.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>

namespace lumivert {

inline constexpr int kTwipsPerPixel = 15;

struct frmMainDesign {
    // Creates every control as a child of form.
    explicit frmMainDesign(QWidget* form);

    PictureBox* picTarget;

    QGroupBox* frmSavePng;
    QLabel* lblPngTransparent;
    OptionGroup optPngTransparent;
    QPushButton* cmdSaveAsPng;

    QGroupBox* frmSaveGif;
    QLabel* lblGifTransparent;
    OptionGroup optGifTransparent;
    QPushButton* cmdSaveAsGif;

    QGroupBox* frmSaveJpg;
    QLabel* lblQuality;
    QLineEdit* txtJpgQuality;
    QPushButton* cmdSaveAsJpg;

    QGroupBox* frmSaveBmp;
    QLabel* lblSaveColor;
    OptionGroup optBmpSaveColor;
    QPushButton* cmdSaveAsBmp;

    QGroupBox* frmVariousEffect;
    QLabel* lblEffect;
    OptionGroup optBmpConv;
    QPushButton* cmdSaveAsVariousImg;
    QGroupBox* frmConvMode;
    OptionGroup optConvAPIType;

    QCheckBox* chkOpenHTML;
};

} // namespace lumivert
