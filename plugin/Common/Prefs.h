// The preferences: every section and key of the preferences file with its default,
// read and written through the accessors below (all on gPrefs). Setters of single
// values save at once, except setPrefGray, setPgParams, setDlgUnits, setPalUnits,
// setOrigin and setJobInfoStr, which only change the store.
#pragma once

#include "ASTypes.h"
#include "settings/MySettings.h"

class CMyDialog;

// Opens the preferences file "<config>/Orvanta/<module>.ini" (an old file beside the
// plug-in is moved there first when the new one does not exist yet).
void setupPrefs();
// Saves the store.
void savePrefs();
// Writes one log line when the preferences file could not be read whole (and is
// therefore kept as it is); again only when the reason changes.
void reportUnreadPrefs();

// Text values into the caller's 256-byte buffer; the buffer keeps its content (the
// caller's default) when the key is missing.
void getLanguage(char* buffer);
void getReplaceStr(char* buffer);
void getSuffix(char* buffer);
void getJobInfoStr(const char* field, char* buffer);
void setJobInfoStr(const char* field, const char* text);
void getJobInfoFontName(char* buffer);  // default "Courier"

// Integers.
ASInt32 getVisible();  // 1 only when "Visible" is exactly 1
void setVisible(ASInt32 visible);
ASInt32 getPalUnits();
void setPalUnits(ASInt32 units);
ASInt32 getDlgUnits();
void setDlgUnits(ASInt32 units);
bool getOrigin();  // true for top left
void setOrigin(ASInt32 origin);
ASInt32 getDragDrop();
ASInt32 getTrimBoxWarning();
bool getCenterOnDrop();
ASInt32 getPixelsForDrag();
ASInt32 getAdjustMediaBox();
ASInt32 getMapSpotToBlack();
ASInt32 getMapSpot();
ASInt32 getKeepCenter();
void setKeepCenter(ASInt32 keep);
ASInt32 getJobInfo();
void setJobInfo(ASInt32 jobInfo);
ASInt32 getJobInfoFontSize(ASInt32 def);
ASInt32 getPrefGray();
void setPrefGray(ASInt32 gray);
// "SaveAs" (default 4) when it lies in 3..6, else 0.
ASInt32 saveAsMinor();
ASInt32 getSaveNewDoc();

// The imposition dialog's last choices (the caller saves).
void getImposeTemplate(char* buffer);
void setImposeTemplate(const char* path);
void getImposeHalfSheet(char* buffer);
void setImposeHalfSheet(const char* path);
ASInt32 getImposeBinding();
void setImposeBinding(ASInt32 binding);
ASInt32 getImposePlacing();
void setImposePlacing(ASInt32 placing);

// Groups.
void loadFrParams(ASInt32* rows, ASInt32* cols, ASFixed* width, ASFixed* deltaW, ASFixed* height,
                  ASFixed* deltaH, ASInt32* rotation);
void saveFrParams(ASInt32 rows, ASInt32 cols, ASFixed width, ASFixed deltaW, ASFixed height,
                  ASFixed deltaH, ASInt32 rotation);
void loadMarkParams(ASFixed* length, ASFixed* distance, ASFixed* width, ASInt32* gray);
void saveMarkParams(ASFixed length, ASFixed distance, ASFixed width, ASInt32 gray);
void getPgParams(ASFixed* width, ASFixed* height);
void setPgParams(ASFixed width, ASFixed height);

// Derived values.
ASFixed getTrap();            // "Marks"/"Trap" mm in fixed points
float getCenterMarkOffset();  // "Marks"/"CenterOffset" in mm
ASFixed getTrimLinesWidth();  // "TrimLines"/"Width" in fixed points
// "TrimLines": separation name (empty for process colour, default "TL"; 256 bytes)
// and CMYK values (default 0 0 0 1). The colour itself is built by the colour code.
void getTrimLinesColorParams(char* name, float cmyk[4]);
// Snaps a length to whole millimetres ("DlgUnits" 3) or whole points.
ASFixed getRoundedValue(ASFixed value);
ASFixedPoint getRoundedPt(ASFixedPoint point);
// Position of the job information from "JobInfo" XPos/YPos (mm); (0, 0) unless
// "DlgUnits" is 3. A negative YPos counts from the top.
ASFixedPoint getJobInfoPos(ASFixed pageHeight, ASFixed jobInfoHeight);
// Millimetres to fixed points: truncate(mm * 72 * 65536 / 25.4).
ASFixed mmToFixed(float mm);

// Palette and window positions.
void savePalPos(CMyDialog* palette, bool saveNow);
void loadPalPos(CMyDialog* palette);
void savePalPosToPrefs();
// The palette whose position savePalPosToPrefs stores (set by the palette code).
void setPrefsPalette(CMyDialog* palette);
CMyDialog* getPrefsPalette();

// Display only: the palette's "Show guides" switch, off at each start-up.
bool toggleShowGuides();
bool getShowGuides();

// "Hotfolder"/"Delay" in seconds (default 2).
ASInt32 getHotfolderDelay();

// Per-document state kept in the PDF (need the Cos and PDModel tables).
float getVexaVersion(PDDoc doc);
bool getFramesVisible(PDDoc doc);
bool toggleFramesVisible(PDDoc doc);

// The preferences dialog; true when confirmed. The proc set here runs after a
// confirmed dialog (the palette marks itself for update).
bool doPrefsDlg();
void setPrefsChangedProc(void (*proc)());
