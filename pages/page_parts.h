// The page viewer's and the print dialog's controls, their creation and the
// page state.  The window holds these parts; the page handlers use them.
#pragma once

#include "containers.h"
#include "controls.h"
#include "inputs.h"
#include "page_layout.h"

#include <QColor>

#include <string>

namespace pages {

struct PageParts {
    // ---- the page box and the bar over it ----
    ui::ScrollBox* SBOX1;
    ui::Image* Image2;
    ui::Panel* PYL;
    ui::Image* Imag3;
    ui::Image* Imag2;
    ui::Image* Imag1;
    ui::SpeedButton* SpB1;
    ui::SpeedButton* SpB2;
    ui::SpeedButton* spb3;
    ui::Image* Image18;
    ui::SpeedButton* SpeedButton9;
    ui::ComboBox* cyl;
    ui::Image* ImagPdf;
    ui::SpeedButton* spbPdf;  // "保存PDF": every page into a PDF file

    // ---- the top bar's "学习记录", beside "每日一帖" ----
    ui::Image* ImageJL;
    ui::SpeedButton* SpeedButtonJL;

    // ---- the print-range dialog ----
    ui::Panel* pdydlg;
    ui::Image* Image67;
    ui::Image* Image68;
    ui::Label* LabelJSQ;
    ui::Label* Label27;
    ui::Label* Label30;
    ui::Label* Label36;
    ui::SpeedButton* Button_DYXZQR;
    ui::SpeedButton* SpeedButton77;
    ui::Bevel* Bevel3;
    ui::Panel* Panel14;
    ui::SpinEdit* SpE1;
    ui::SpinEdit* SpE2;

    // ---- page state ----
    int CurrentPage = 0;  // report page shown, 0 while none
    // Device pixels per page unit (1/300 inch) and per pixel of a stored
    // picture, for the target drawn on last.
    double PageScale = layout::kScreenScale;
    double PictureScale = 1.0;
    // The report's page count and page table, kept by the scroll box.
    int PageCount() const { return SBOX1->tag; }
    const std::string& PageTable() const { return SBOX1->hint(); }

    // The mouse wheel over the page box or the cards: scrolls, and at the
    // ends of a report page the fourth notch turns the page.
    void SBOX1MouseWheel(ui::ScrollBox& sender, int wheelDelta);

protected:
    // The page box and its bar, on the work area.
    void createViewer(QWidget* workArea);
    // "学习记录" and its backdrop in the top bar, 110 pixels left of the
    // neighbour button: the same size, font and artwork, placed, shown and
    // hidden with it wherever the window moves or shows it.
    void createProgressButton(ui::Panel* topBar, ui::SpeedButton* neighbour, ui::Image* neighbourBackdrop);
    // The dialog inside the centre panel; its title bar in titleColor.
    void createPrintDialog(QWidget* centrePanel, const QColor& titleColor);

    // Page drawing lets events run; a screen redraw asked for meanwhile is
    // done once the page in progress is finished.
    bool pageDrawing_ = false;
    bool pageRedrawPending_ = false;
    // The open print job's page, and the print loop's state.
    ui::Canvas* printerCanvas_ = nullptr;
    int printerDpi_ = 300;
    bool printing_ = false;
    bool printCancelled_ = false;
};

}  // namespace pages
