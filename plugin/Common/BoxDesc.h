// Frame dictionaries: the property dictionary of a frame container says what the
// frame is (its box number), where it lies, and how a page placed into it is turned,
// offset, scaled and displaced. Also the Cos helpers every frame accessor uses, and
// the run-time selection tag the editing tool keeps on frames.
#pragma once

#include "Common/API.h"
#include "Common/FrameFit.h"
#include "Common/Scopes.h"

// Box numbers: 1 and up are page frames; the others mark generated objects.
enum {
    kBoxPlain = 0,
    kBoxJobInfo = -1,
    kBoxRegMark = -2,
    kBoxOldMovingMark = -3,
    kBoxCutMark = -4,
    kBoxMovingMark = -5,
    kBoxTrimLines = -6,
    kBoxFoldMark = -7,
    kBoxEmptyFrame = -8,  // placed like a page frame, but receives no page
    kBoxTextFrame = -9,
};

// Run-time tags (keyed by our extension identifier, never written to the file).
#define kSelTag 0x73656C20u    // 'sel ': selection order, 0 = not selected
#define kMovedTag 0x6D6F7664u  // 'movd': a clip already moved

// The Cos helpers create new objects in the current Cos document (Scopes.h).

// Cos dictionary access. getKeyValue returns -1 when dict is neither a dictionary
// nor a stream, -2 when the key is absent, 0 on success.
ASInt16 getKeyValue(CosObj dict, const char* key, CosObj* out, ASInt32* type = nullptr);
ASInt32 getKeyValueInt(CosObj dict, const char* key, ASInt32 def);
ASFixed getKeyValueFixed(CosObj dict, const char* key, ASFixed def);
// A name's text or a string's bytes (at most 255), terminated; false otherwise.
bool getKeyValueString(CosObj dict, const char* key, char* dst, ASInt32 size);
// Replace-on-write: a present key takes the new value. New values are direct objects
// of gCosDoc.
void putKeyValue(CosObj dict, const char* key, CosObj value);
void putKeyValue(CosObj dict, const char* key, ASInt32 value);
void putKeyValueFixed(CosObj dict, const char* key, ASFixed value);
void putKeyValue(CosObj dict, const char* key, const char* value, bool asName);

// The frame dictionary of a container; the null object for any other element.
CosObj getVexaDict(PDEElement elem);

void setBoxNum(PDEElement elem, ASInt32 num);
ASInt32 getBoxNum(PDEElement elem);
void setGray(PDEElement elem, ASInt32 gray);
ASInt32 getGray(PDEElement elem);
void setFrameRotation(PDEElement elem, ASInt32 rotation);
// "rotation"; when absent (or 360): 180 if "rotated" is 1, else 0.
ASInt32 getFrameRotation(PDEElement elem);
bool getRotated(PDEElement elem);
void setSelected2(PDEElement elem, ASInt32 sel);
ASInt32 getSelected2(PDEElement elem);

// The placing values ("xOff", "yOff", "scale", "dx"); they are read with the rest of
// the frame by readFrame (Common/FrameFit.h), the scale 1.0 when absent.
void setXOff(PDEElement elem, ASFixed v);
void setYOff(PDEElement elem, ASFixed v);
void setScale(PDEElement elem, ASFixed v);
void setDisplacement(PDEElement elem, ASFixed v);
void setMoveLimit(PDEElement elem, ASFixed v);
ASFixed getMoveLimit(PDEElement elem);

// The frame rectangle ("left", "top", "right", "bottom").
void setBBox(PDEElement elem, const ASFixedRect* rect);
ASFixedRect getBBox(PDEElement elem);
// The "BBox" array [l b r t] of a dictionary or stream; all zero when missing.
ASFixedRect getBBox(CosObj obj);
ASFixedRect getFormBBox(PDEElement form);

// Bleed per side: left "bl", top "bt", right "br", bottom "bb".
void setBleedRect(PDEElement elem, const ASFixedRect* bleed);
ASFixedRect getBleedRect(PDEElement elem);
ASFixedRect getBleedRect(CosObj dict);
// The frame rectangle inset by the bleed is innerRect(readFrame(elem)) (Common/FrameFit.h).

// Job-information strings ("A", "B", "desc"); the reader falls back to the
// "JobInfo" preferences and then to fallback. dst holds 256 bytes.
void setJobInfoStr(PDEElement elem, const char* key, const char* value);
void getJobInfoStr(PDEElement elem, const char* key, char* dst, const char* fallback);

// The selection tag: selecting stores the current counter, deselecting 0; the
// counter advances on both.
void setSelected(PDEElement elem, bool selected);
ASInt32 getSelIndex(PDEElement elem);
bool getSelected(PDEElement elem);

// Frames of older templates may keep their dictionary as a direct object: each such
// dictionary is replaced by an indirect copy with the same entries (the in-line flag
// kept). Returns the number of frames converted.
ASInt32 makeFrameDictsIndirect(PDDoc doc);
// Whether the document may hold frames of such an older template: written by a version
// before 6.0 (its Creator says so), or carrying the template's catalog entry without
// saying which version wrote it. A source is not read for frames when it opens.
bool mayHoldOldFrames(PDDoc doc);
