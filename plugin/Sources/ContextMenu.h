// The editing tool's context menu on the page view.
//
// A secondary click on free sheet space offers "Frames…", "Text frame", "Marks…" and,
// when some optimizer preset has an existing folder in the "SaveOptimized" section,
// "Save optimized" with one item per such preset; on a frame it offers "Bleeding…",
// "Rotate" and "Marks…" for the frame, which becomes the selection first.
#pragma once

#include <string>
#include <vector>

#include "Common/API.h"

ASBool doRightClick(AVTool tool, AVPageView view, AVDevCoord x, AVDevCoord y, ASInt16 flags,
                    ASInt16 clickCount);

// A pop-up menu of the host, built per click from string keys. Items carry command
// numbers; an item of a submenu is chosen as 1000 + its position (from 1).
class MyMenu {
  public:
    MyMenu();
    ~MyMenu();
    MyMenu(const MyMenu&) = delete;
    MyMenu& operator=(const MyMenu&) = delete;

    // The text of the string key, with "…" when asked.
    void addItemWithText(const char* key, ASInt32 number, bool withEllipsis = false);
    // Plain texts (not keys), each numbered 0.
    void addItems(const std::vector<std::string>& texts);
    // The submenu's items become part of this menu; sub must outlive the tracking.
    void addSubMenu(const char* key, MyMenu& sub);
    ASInt32 count() const { return static_cast<ASInt32>(items_.size()); }
    // Shows the menu at the device point and returns the chosen item's number (1000 +
    // position for an item of a submenu), or 0 when nothing was chosen.
    ASInt32 track(AVPageView view, AVDevCoord x, AVDevCoord y);

  private:
    void add(const char* title, ASInt32 number, AVMenu submenu);
    AVMenu menu_ = nullptr;
    struct Item {
        AVMenuItem item;
        ASInt32 number;
    };
    std::vector<Item> items_;
    std::vector<MyMenu*> subs_;
};

// One preset of "Save optimized": the host's preset name and the folder that receives
// documents saved with it.
struct OptimizedTarget {
    std::string preset;
    std::string folder;
};
// The "SaveOptimized" entries in the section's order, keeping those whose preset the
// host offers and whose folder exists. Submenu item k saves with entry k of this list.
std::vector<OptimizedTarget> getOptimizedTargets();
// Saves the view's document with the preset into the target's folder as
// "<name>_O.pdf" (written to the temporary folder, then copied over an older file of
// that name) and opens it anew from its own path with Vexa's tool active. A document
// with unsaved changes stays open as it is. Returns the view of the document
// afterwards (a new one when it was reopened; null when it could not be reopened).
AVPageView saveOptimized(AVPageView view, const OptimizedTarget& target);
