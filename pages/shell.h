// The window's shell as the subsystems see it: the shell's controls they
// use (the session buttons, the centre panel with its notice, the tool
// strip, the work area, the scratch memo and picture) and the shell's own
// way out.  The window (app/) creates these controls and implements the
// actions; pages, homework and learning reach the shell only through here.
#pragma once

#include "containers.h"
#include "controls.h"
#include "inputs.h"

#include <string>

namespace data {
class Tdatam;
}

namespace pages {

class Shell {
public:
    explicit Shell(data::Tdatam& dm) : datam(dm) {}
    virtual ~Shell() = default;
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    data::Tdatam& datam;

    ui::Image* Image1;           // the banner (its hidden exit gesture)
    ui::Label* ldw0;             // the title, also the head of every page
    ui::Image* Imageft;          // scratch picture: the one being placed
    ui::Image* Imicon0;          // the work area's tile
    ui::Image* Imicon1;          // the cards' and pages' tile
    ui::Panel* Panel_ZY;         // the work area
    ui::SpeedButton* BJS;        // the tool strip's session button
    ui::SpeedButton* SpeedButton69;
    ui::SpeedButton* SpeedButton6;
    ui::SpeedButton* SpeedButton1;  // its glyph is the analysis buttons'
    ui::Memo* m_pd;              // scratch memo: lines of a card, a report, a page
    ui::Panel* Panel_cy;         // the centre panel
    ui::SpeedButton* BT2;
    ui::SpeedButton* BT1;
    ui::Panel* Pts;              // the notice on the centre panel
    ui::Timer Timer2;

    // Caption of BJS kept while a page view shows "返  回", as Panel_cy's hint.
    const std::string& RememberedCaption() const { return Panel_cy->hint(); }
    void setRememberedCaption(std::string s) { Panel_cy->setHint(std::move(s)); }

    void TileCanvas(ui::Canvas& canvas, ui::Image& tile, int width, int height) {
        canvas.tile(tile.picture(), tile.size(), width, height);
    }

    // ClosePermission := 2, then close: the program's own way out.
    virtual void CloseProgram() = 0;
};

}  // namespace pages
