// What a placed page takes along from its document: its layers (optional content and
// their default visibility), its transparency group, the appearance of its printable
// annotations and form fields, and the output intents that say for which printing
// condition its colours were made; and the metadata that an imposed document carries
// for them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Common/PIUtils.h"

// Merges the optional-content groups of src and its default configuration into dst's,
// once per source: every group keeps the visibility it has in src, the groups of one
// source are listed under its file name, and a group whose name another source's
// group already has gets the file name added to its own.
void carryOptionalContent(PDDoc src, PDDoc dst);

// Puts the page's transparency group (copied into dstCos, isolated as a page's group
// is) on the form XObject, when the page draws anything transparent.
void carryGroup(CosObj page, CosObj form, CosDoc dstCos);
// True when the page's resources or its printed annotations hold transparency: a
// graphics state with alpha below 1, a blend mode or a soft mask, an image with a soft
// mask, at any depth of forms, patterns and fonts.
bool usesTransparency(CosObj page);

// Draws the appearances of the page's printable annotations (Print flag set, Hidden
// not; a widget in its current state) over the form's content, as they print. The
// form gets resources of its own when it had shared ones. cmyk gets the process
// colours the appearances use. False when the page has nothing to draw.
bool flattenAnnotations(CosObj page, CosObj form, CosDoc dstCos, ASUns8 cmyk[4]);
// True when the page has an annotation flattenAnnotations would draw.
bool hasPrintableAnnotations(CosObj page);

// Carries src's output intents to dst when dst has none; when dst has others, they
// stay and a warning goes to the log (once per pair of documents).
void carryOutputIntents(PDDoc src, PDDoc dst);
// Equal output intents: the same objects, or the same kind, condition and profile.
bool sameOutputIntents(CosObj a, CosObj b);
// The page's own output intents (an array), or the null object.
CosObj pageOutputIntents(CosObj page);

// Document information and XMP metadata of an imposed document: creation and change
// dates, and, when dst carries src's output intents, src's PDF/X and PDF/A
// identification; the XMP packet then says what the information dictionary says.
void writeImposedMetadata(PDDoc dst, PDDoc src);
// The XMP packet for the document information (keys and values in UTF-8) and the
// identification parts ("pdfxid:GTS_PDFXVersion", "pdfaid:part", ...).
std::string makeXmpPacket(const std::vector<std::pair<std::string, std::string>>& info,
                          const std::vector<std::pair<std::string, std::string>>& ids);
