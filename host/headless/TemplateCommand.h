// "vexa template": making a template with one command or one JSON description (new),
// seeing what a template holds, as text, JSON, proofs and a fold check (show), and the
// library of templates installed beside the plug-in (list).
#pragma once

#include <string>
#include <vector>

#include "headless/Session.h"
#include "headless/TemplateLayout.h"

namespace vexa::host {

// args: the words after "template". Returns the exit status.
int cmdTemplate(SessionOptions options, const std::vector<std::string>& args);

// The request of "template new ARGS" (throws layout::LayoutError or
// std::invalid_argument); `output` receives -o.
layout::Request parseTemplateArgs(const std::vector<std::string>& args, std::string& output);

// The scripted session that builds the planned template through the plug-in's commands
// and saves it to `output`.
std::string templateScript(const layout::Plan& plan, const std::string& output);

// What a template holds, read from its file.
struct TemplateFrame {
    int box = 0;
    int rotation = 0;
    layout::Rect rect;  // bleed included
    layout::Fixed bleedLeft = 0, bleedBottom = 0, bleedRight = 0, bleedTop = 0;
    layout::Fixed moveLimit = 0;  // a moving mark's
    layout::Rect trim() const {
        return {rect.left + bleedLeft, rect.bottom + bleedBottom, rect.right - bleedRight,
                rect.top - bleedTop};
    }
};
struct TemplateSheet {
    layout::Fixed width = 0, height = 0;
    std::vector<TemplateFrame> frames;  // every frame of the sheet, in paint order
};
struct TemplateInfo {
    std::vector<TemplateSheet> sheets;
};
// Throws std::runtime_error when the file cannot be read.
TemplateInfo readTemplate(const std::string& path);

// The fold check of a template's sheet pair (front, back): cols and rows found from the
// frames' positions; an empty reading when the frames form no foldable grid.
fold::Reading foldCheck(const TemplateSheet& front, const TemplateSheet& back);

// The library folder beside the plug-in (the first plug-in folder of the options).
std::string templateLibraryFolder(const std::vector<std::string>& pluginDirs);
// A template named by path, or by its name in the library ("Booklet_A5_on_SRA3", with
// or without ".pdf"); empty when neither exists.
std::string resolveTemplate(const std::string& nameOrPath,
                            const std::vector<std::string>& pluginDirs);

}  // namespace vexa::host
