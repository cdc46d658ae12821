// What "vexa template new" builds: a template request (sheet, page, layout kind,
// gutter, bleed, gripper, marks, slug line) and the layout planned from it, in 16.16
// fixed points as the plug-in keeps them, so that what the plug-in's commands make can
// be foretold to the last 1/65536 pt.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "headless/TemplateFold.h"

namespace vexa::host::layout {

using Fixed = std::int32_t;  // 16.16 points

struct Rect {
    Fixed left = 0, bottom = 0, right = 0, top = 0;
    Fixed width() const { return right - left; }
    Fixed height() const { return top - bottom; }
};

// A request that cannot be met (an impossible layout or a bad value): the message
// says what does not fit or what is wrong, in the user's terms.
class LayoutError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Lengths: a number with a unit ("3mm", "0.125in", "1cm", "9pt"; a bare number is
// millimetres). Millimetres become points as truncate(mm * 72 * 65536 / 25.4).
Fixed parseLength(const std::string& text);
// Sizes: a name of the A-, B- or SRA-series, "52x72cm", "70x100cm", "letter",
// "tabloid", "12x18in", or W x H with units ("320x450mm", "8.5x11in"). Named sheets are
// taken landscape when `landscape`, named pages upright; W x H stands as written.
void parseSize(const std::string& text, bool landscape, Fixed& w, Fixed& h);
std::string formatLength(Fixed v, const std::string& unit);  // "148 mm", "8.5 in"

enum class Kind { Booklet, Signature8, Signature16, Signature32, Step, WorkAndTurn, WorkAndTumble };
Kind parseKind(const std::string& text);
const char* kindName(Kind k);

enum class Edge { Bottom, Top, Left, Right };
Edge parseEdge(const std::string& text);

struct Request {
    Fixed sheetW = 0, sheetH = 0, pageW = 0, pageH = 0;
    std::string sheetText, pageText;
    Kind kind = Kind::Booklet;
    int gridCols = 0, gridRows = 0;  // step layouts: 0 = as many as fit
    Fixed gutter = -1;               // between frames that are cut apart; -1: twice the bleed
    Fixed bleed = 0;
    Fixed gripper = 0;
    Edge gripperEdge = Edge::Bottom;
    Fixed plateW = 0, plateH = 0;  // 0: no plate
    bool cutMarks = true, registrationMarks = true, centreMarks = false;
    bool foldMarks = false;   // folding layouts only
    bool movingMark = false;  // a mark that steps up the sheet from one copy to the next
    bool slug = false;
};

// Marks as the marks dialog draws them: distance from the frame's bleed edge, length
// and line width.
struct MarkStyle {
    Fixed distance = 557314;  // 3 mm
    Fixed length = 557314;    // 3 mm
    Fixed width = 16384;      // 0.25 pt
};

struct Frame {
    int box = 0;
    int rotation = 0;
    Rect trim;
    Fixed bleedLeft = 0, bleedBottom = 0, bleedRight = 0, bleedTop = 0;
    int col = 0, row = 0;  // in the grid on the sheet
    Rect rect() const {
        return {trim.left - bleedLeft, trim.bottom - bleedBottom, trim.right + bleedRight,
                trim.top + bleedTop};
    }
};

struct Plan {
    Request request;
    Fixed sheetW = 0, sheetH = 0;
    Rect printable;                // the sheet less the gripper margin(s)
    int cols = 0, rows = 0;        // frames on the sheet
    bool turned = false;           // pages lie turned by 90 degrees
    Fixed frameW = 0, frameH = 0;  // a frame's trim size on the sheet
    Fixed gapW = 0, gapH = 0;      // the frame grid's gaps (the widest of each way)
    MarkStyle marks;
    Rect block;     // the frames with their bleed
    Rect envelope;  // the block with its marks
    // The moving mark: where it starts (beside the marks, level with the block's
    // bottom) and the limit it steps up to (the block's top).
    bool movingMark = false;
    Rect movingRect;
    Fixed movingLimit = 0;
    bool slug = false;
    Rect slugRect;  // the job-information frame
    // Sheets: front, and the back when there is one. A back that prints from the same
    // plate as the front carries the same frames.
    std::vector<std::vector<Frame>> sheets;
    bool backSamePlate = false;
    // Frames that share a spine fold get their bleed together (none at the spine);
    // every other frame has bleed on all sides.
    std::vector<std::vector<int>> bleedGroups;  // indices into sheets[0]
    bool bleedAllSides = true;
};

// Plans the layout; throws LayoutError when it cannot be made.
Plan plan(const Request& r);

// The fold check's view of a planned (or read) folding layout.
fold::Sheet foldSheetOf(const std::vector<Frame>& front, const std::vector<Frame>& back, int cols,
                        int rows);

}  // namespace vexa::host::layout
