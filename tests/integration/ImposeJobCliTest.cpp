// "vexa impose" as a typed job: every wrong input named in the user's terms before any
// work, warnings a press operator needs, --json and --dry-run for programs, job
// tickets, help for every command, and preferences that are read, never written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ImposeCliFixture.h"
#include "TestSupport.h"

using vexa::test::ImposeCli;
using vexa::test::kRoot;
using vexa::test::kVexa;
using vexa::test::readFile;
using vexa::test::runCommand;
using vexa::test::Sheet;
using vexa::test::writeFile;

namespace fs = std::filesystem;

namespace {

struct ImposeJob : ImposeCli {
    std::string out;

    // vexa with the words given (stdout and stderr together).
    int vexa(const std::string& words) { return runCommand(kVexa + " " + words + " 2>&1", &out); }
    // Only stdout (the --json object or the summary).
    int vexaStdout(const std::string& words) {
        return runCommand("(" + kVexa + " " + words + " 2>/dev/null)", &out);
    }
    bool says(const std::string& text) const { return out.find(text) != std::string::npos; }

    // The lines that are not progress.
    std::vector<std::string> lines() const {
        std::vector<std::string> l;
        std::size_t p = 0;
        while (p < out.size()) {
            std::size_t e = out.find('\n', p);
            if (e == std::string::npos) e = out.size();
            std::string line = out.substr(p, e - p);
            if (!line.empty() && line.rfind("progress:", 0) != 0) l.push_back(line);
            p = e + 1;
        }
        return l;
    }

    // Runs a Python program on the last output (as stdin); its stdout.
    std::string python(const std::string& program) {
        std::string json = dir.file("out.json"), py = dir.file("p.py"), result;
        writeFile(json, out);
        writeFile(py, program);
        EXPECT_EQ(runCommand("python3 " + py + " < " + json, &result), 0) << result;
        while (!result.empty() && result.back() == '\n') result.pop_back();
        return result;
    }

    std::string bundled(const std::string& name) const {
        return std::string(VEXA_BIN_DIR) + "/plug_ins/Vexa/templates/" + name;
    }
    std::string iniPath() const {
        return (home.path() / "config" / "Orvanta" / "Vexa.ini").string();
    }
};

}  // namespace

TEST_F(ImposeJob, WrongValuesAreRefusedBeforeAnyWork) {
    const std::string result = dir.file("brochure_M.pdf");
    EXPECT_EQ(impose("--creep abc"), 2);
    EXPECT_EQ(impose("--creep abc", &out), 2);
    EXPECT_TRUE(says("vexa: --creep abc: not a length")) << out;
    // Two inches are 50.8 mm, not 2 mm: far more than a leaf shifts.
    EXPECT_EQ(impose("--creep 2in", &out), 2);
    EXPECT_TRUE(says("vexa: --creep 2in: more than the 5 mm a leaf can be shifted")) << out;
    EXPECT_EQ(impose("--creep 50mm", &out), 2);
    EXPECT_FALSE(fs::exists(result));
    // An eighth of an inch per leaf: pages 7 to 10 (leaf 3) move by 3/8 inch, 27 pt.
    ASSERT_EQ(
        vexaStdout("impose " + brochure + " -t " + tmpl + " --creep \"1/8 inch\" --dry-run --json"),
        0)
        << out;
    EXPECT_EQ(python("import json, sys\n"
                     "d = json.load(sys.stdin)\n"
                     "print(max(abs(f['creep']) for s in d['sheet_map'] for f in s['frames']))\n"),
              "27");
    EXPECT_FALSE(fs::exists(result));
}

TEST_F(ImposeJob, ErrorsSpeakTheUsersLanguageOnOneLineEach) {
    EXPECT_EQ(impose("--binding perfect --creep 0.3mm", &out), 2);
    ASSERT_EQ(lines().size(), 1u) << out;
    EXPECT_EQ(lines()[0],
              "vexa: --creep 0.3mm: creep is for saddle stitch only; this job is bound by "
              "perfect binding");
    EXPECT_EQ(impose("--creep -1mm", &out), 2);
    ASSERT_EQ(lines().size(), 1u) << out;
    EXPECT_EQ(lines()[0], "vexa: --creep -1mm: creep cannot be negative");
    EXPECT_EQ(impose("--scale 5", &out), 2);
    ASSERT_EQ(lines().size(), 1u) << out;
    EXPECT_EQ(lines()[0], "vexa: --scale 5: the scale is 10% to 1000%");
    // Every problem at once, each on its line.
    EXPECT_EQ(impose("--scale 5 --creep abc --pages 20-30", &out), 2);
    EXPECT_EQ(lines().size(), 3u) << out;
    // A damaged source is named, with what is wrong with it.
    std::string data = readFile(brochure);
    writeFile(dir.file("cut.pdf"), data.substr(0, data.size() / 2));
    EXPECT_EQ(vexa("impose " + dir.file("cut.pdf") + " -t " + tmpl), 2);
    EXPECT_TRUE(says("vexa: " + dir.file("cut.pdf") + " is damaged and cannot be repaired")) << out;
    EXPECT_FALSE(says("impose:1")) << out;
}

TEST_F(ImposeJob, PageRangesOutsideTheDocumentAreRefusedHereAndInTheDialog) {
    for (const char* range : {"10-3", "20-30", "0-4", "10-20"}) {
        EXPECT_EQ(impose(std::string("--pages ") + range, &out), 2) << range << out;
        EXPECT_TRUE(says(std::string("vexa: --pages ") + range + ": ")) << out;
    }
    EXPECT_TRUE(says("the range 10-20 ends after the last page: the source has 16 pages")) << out;
    EXPECT_FALSE(fs::exists(dir.file("brochure_M.pdf")));
    // The dialog's OK refuses them as well: the dialog stays, with the field to mend.
    std::string s = dir.file("range.vx");
    writeFile(s, "open " + brochure + "\nmenu Vexa:impose\n  choose " + tmpl +
                     "\n  press 4\n"
                     "  set 14 10\n  set 15 3\n  press 1\n  expect-dialog IMPOSE\n"
                     "  expect-focus 15\n"
                     "  set 14 20\n  set 15 30\n  press 1\n  expect-dialog IMPOSE\n"
                     "  expect-focus 14\n"
                     "  set 14 1\n  set 15 16\n  answer No\n  press 1\n"
                     "expect-docs 2\n");
    EXPECT_EQ(vexa("run " + s), 0) << out;
}

TEST_F(ImposeJob, TheTemplateOfOneRunIsNotTheDefaultOfTheNext) {
    const std::string signature = bundled("Signature_16_A4.pdf");
    ASSERT_EQ(vexa("impose " + brochure + " -o " + dir.file("a.pdf")), 0) << out;
    EXPECT_TRUE(says(dir.file("a.pdf") + ": 8 sheets")) << out;
    ASSERT_EQ(vexa("impose " + brochure + " -t " + signature + " -o " + dir.file("b.pdf")), 0)
        << out;
    EXPECT_FALSE(says(dir.file("b.pdf") + ": 8 sheets")) << out;
    ASSERT_EQ(vexa("impose " + brochure + " -o " + dir.file("c.pdf")), 0) << out;
    EXPECT_TRUE(says(dir.file("c.pdf") + ": 8 sheets")) << out;
    EXPECT_FALSE(fs::exists(iniPath()));
}

TEST_F(ImposeJob, ThePreferencesFileIsLeftByteForByte) {
    // Line ends of another system, a blank first line and the last dialog's choices.
    const std::string prefs = "\r\n[General]\r\nMapSpot=1\r\nDlgUnits=3\r\n[Impose]\r\nTemplate=" +
                              bundled("Signature_16_A4.pdf") + "\r\nBinding=2\r\nPlacing=3\r\n";
    fs::create_directories(home.path() / "config" / "Orvanta");
    writeFile(iniPath(), prefs);
    writeFile(dir.file("job.json"), "{\"binding\": \"perfect\", \"creep\": 0}");
    const std::vector<std::string> runs = {
        "",            // the preferences' template
        "-t " + tmpl,  // another one
        "-t " + tmpl + " --dry-run",
        "-t " + tmpl + " --pages 10-3",  // refused
        "-t " + tmpl + " --map-spot \"PANTONE 286 C=cyan\" --spot-black on",
        "-t " + tmpl + " --job " + dir.file("job.json") + " --json",
    };
    for (const std::string& r : runs) {
        vexa("impose " + brochure + " " + r + " -o " + dir.file("p.pdf"));
        EXPECT_EQ(readFile(iniPath()), prefs) << r << "\n" << out;
    }
    // The preferences' template (two sheets) was taken, not the bundled booklet.
    ASSERT_EQ(vexa("impose " + brochure + " --dry-run"), 0) << out;
    EXPECT_FALSE(says("sheet 3")) << out;
    EXPECT_EQ(readFile(iniPath()), prefs);
}

TEST_F(ImposeJob, TheDialogAndTheCommandLineGiveIdenticalSheets) {
    std::string s = dir.file("dialog.vx");
    writeFile(s, "open " + brochure + "\nmenu Vexa:impose\n  choose " + tmpl +
                     "\n  press 4\n  press 18\n  pick 12 1\n  pick 16 1\n  set 13 0.2\n"
                     "  set 17 95\n  set 14 3\n  set 15 14\n  answer No\n  press 1\n"
                     "save " +
                     dir.file("dialog.pdf") + "\n");
    ASSERT_EQ(vexa("run " + s), 0) << out;
    ASSERT_EQ(impose("--binding saddle --align trimbox --creep 0.2mm --scale 95% --pages 3-14 "
                     "-o " +
                         dir.file("line.pdf"),
                     &out),
              0)
        << out;
    for (const char* f : {"dialog", "line"})
        ASSERT_EQ(
            runCommand("pdftoppm -r 40 " + dir.file(std::string(f) + ".pdf") + " " + dir.file(f)),
            0);
    int pages = 0;
    for (int p = 1; p <= 12; ++p) {
        // pdftoppm numbers the pages with as many digits as the last one needs.
        std::string n = std::to_string(p);
        std::string d = dir.file("dialog-" + n + ".ppm"), l = dir.file("line-" + n + ".ppm");
        if (!fs::exists(d)) break;
        ++pages;
        EXPECT_TRUE(readFile(d) == readFile(l)) << "sheet " << p;
    }
    EXPECT_EQ(pages, 6);
}

TEST_F(ImposeJob, JsonAndDryRunTellAProgramWhatWillHappen) {
    const std::string result = dir.file("brochure_M.pdf");
    ASSERT_EQ(impose("--dry-run", &out), 0) << out;
    EXPECT_TRUE(says(result + " (dry run, not written): 8 sheets, 16 pages placed, 0 empty frames"))
        << out;
    EXPECT_TRUE(says("sheet 1 (A1): frame 1 page 16, frame 2 page 1\n")) << out;
    EXPECT_TRUE(says("sheet 8 (B4): frame 1 page 8, frame 2 page 9\n")) << out;
    EXPECT_FALSE(fs::exists(result));
    ASSERT_EQ(vexaStdout("impose " + brochure + " -t " + tmpl + " --dry-run --json"), 0) << out;
    EXPECT_EQ(
        python("import json, sys\n"
               "d = json.load(sys.stdin)\n"
               "print(d['dry_run'], d['written'], d['sheets'], d['empty_frames'],\n"
               "      [[f['page'] for f in s['frames']] for s in d['sheet_map'][:2]],\n"
               "      d['sheet_map'][1]['side'], d['sheet_map'][0]['frames'][1]['rotation'])\n"),
        "True False 8 0 [[16, 1], [2, 15]] B1 0");
    EXPECT_FALSE(fs::exists(result));
    // The run itself: one JSON object on stdout, and the file its map foretold.
    ASSERT_EQ(vexaStdout("impose " + brochure + " -t " + tmpl + " --json"), 0) << out;
    EXPECT_EQ(python("import json, sys\n"
                     "d = json.load(sys.stdin)\n"
                     "print(d['output'] == '" +
                     result +
                     "', d['written'], d['sheets'],\n"
                     "      d['pages_placed'], d['empty_frames'], d['errors'], d['alignment'],\n"
                     "      d['spot_colours'][0]['name'], d['spot_colours'][0]['mapping'],\n"
                     "      type(d['seconds']).__name__, type(d['warnings']).__name__)\n"),
              "True True 8 16 0 [] pages fitted by their TrimBox PANTONE 286 C kept float list");
    EXPECT_EQ(order(result)[0], (Sheet{16, 1}));
    // A refused job is a JSON object too, with its errors.
    EXPECT_EQ(vexaStdout("impose " + brochure + " -t " + tmpl + " --pages 9-2 --json"), 2);
    EXPECT_EQ(python("import json, sys\n"
                     "d = json.load(sys.stdin)\n"
                     "print(d['written'], d['errors'])\n"),
              "False ['--pages 9-2: the range runs backwards: page 9 comes after page 2']");
}

TEST_F(ImposeJob, JobTicketsFromTheDocsAndTheCommandLineWinsOverThem) {
    // Every example of the documentation: the schema and vexa agree on it.
    std::string listing;
    writeFile(dir.file("examples.py"),
              "import json, re, sys, jsonschema\n"
              "docs, out = sys.argv[1], sys.argv[2]\n"
              "schema = json.load(open(docs + '/job-ticket.schema.json'))\n"
              "jsonschema.Draft202012Validator.check_schema(schema)\n"
              "v = jsonschema.Draft202012Validator(schema)\n"
              "text = open(docs + '/job-ticket.md').read()\n"
              "blocks = re.findall(r'```(json|json-invalid)\\n(.*?)```', text, re.S)\n"
              "for i, (kind, body) in enumerate(blocks):\n"
              "    ok = v.is_valid(json.loads(body))\n"
              "    if ok != (kind == 'json'): sys.exit('the schema disagrees: ' + body)\n"
              "    name = '%s/%s%d.json' % (out, 'ok' if ok else 'bad', i)\n"
              "    open(name, 'w').write(body)\n"
              "    print(name)\n");
    ASSERT_EQ(runCommand("python3 " + dir.file("examples.py") + " " + kRoot + "/docs " +
                             dir.path().string(),
                         &listing),
              0)
        << listing;
    int good = 0, bad = 0;
    std::size_t p = 0;
    while (p < listing.size()) {
        std::size_t e = listing.find('\n', p);
        std::string ticket = listing.substr(p, e - p);
        p = e + 1;
        bool valid = ticket.find("/ok") != std::string::npos;
        (valid ? good : bad) += 1;
        int rc = vexa("impose " + brochure + " --job " + ticket + " --dry-run");
        if (valid) {
            EXPECT_EQ(rc, 0) << ticket << "\n" << out;
        } else {
            EXPECT_EQ(rc, 2) << ticket << "\n" << out;
            EXPECT_TRUE(says("vexa: " + ticket + ": ")) << out;
        }
    }
    EXPECT_EQ(good, 4);
    EXPECT_EQ(bad, 6);

    // The ticket chooses perfect binding; the command line's saddle stitch wins.
    writeFile(dir.file("perfect.json"),
              "{\"template\": \"booklet-2up.pdf\", \"binding\": \"perfect\"}");
    ASSERT_EQ(vexa("impose " + brochure + " --job " + dir.file("perfect.json") + " --dry-run"), 0)
        << out;
    EXPECT_TRUE(says("sheet 1 (A1): frame 1 page 4, frame 2 page 1\n")) << out;
    ASSERT_EQ(vexa("impose " + brochure + " --job " + dir.file("perfect.json") +
                   " --binding saddle --dry-run"),
              0)
        << out;
    EXPECT_TRUE(says("sheet 1 (A1): frame 1 page 16, frame 2 page 1\n")) << out;
    // A library template by its name, as -t takes it.
    writeFile(dir.file("library.json"), "{\"template\": \"Booklet_A5_SRA3\"}");
    ASSERT_EQ(vexa("impose " + brochure + " --job " + dir.file("library.json") + " --dry-run"), 0)
        << out;
    EXPECT_TRUE(says("(dry run, not written): 8 sheets, 16 pages placed")) << out;
    EXPECT_EQ(vexa("impose " + brochure + " -t NoSuchTemplate"), 2);
    EXPECT_TRUE(
        says("NoSuchTemplate does not exist, nor is there a template of that name in the "
             "library"))
        << out;
    // A refused key is named with its ticket.
    writeFile(dir.file("wrong.json"), "{\"binding\": \"perfect\", \"scale\": \"huge\"}");
    EXPECT_EQ(vexa("impose " + brochure + " --job " + dir.file("wrong.json")), 2);
    EXPECT_TRUE(says("vexa: " + dir.file("wrong.json") + ": \"scale\": not a percentage")) << out;
    EXPECT_EQ(vexa("impose " + brochure + " --job " + dir.file("nothing.json")), 2);
    EXPECT_TRUE(says("the job ticket " + dir.file("nothing.json") + " does not exist")) << out;
    // A ticket far larger than the reader takes is refused for its size, however little of
    // it is read.
    writeFile(dir.file("huge.json"), std::string(1200000, ' ') + "{\"binding\": \"perfect\"}");
    EXPECT_EQ(vexa("impose " + brochure + " --job " + dir.file("huge.json") + " --dry-run"), 2);
    EXPECT_TRUE(says(dir.file("huge.json") + ": not a job ticket: the text is larger than 64 KB"))
        << out;
}

TEST_F(ImposeJob, WarningsAreSaidBeforeTheWorkAndInTheSummary) {
    // A5 pages into the bundled A4 booklet.
    ASSERT_EQ(vexa("impose " + brochure + " -o " + dir.file("a4.pdf")), 0) << out;
    const std::string trim =
        "warning: the pages' TrimBox (148.2 x 209.9 mm) differs from the frames' trim size "
        "(210 x 297 mm) by more than 0.5 mm: each page is placed by its TrimBox";
    EXPECT_TRUE(says("vexa: " + trim)) << out;
    EXPECT_TRUE(says("\n" + trim)) << out;  // the summary's copy
    // Pages of two sizes.
    ASSERT_EQ(runCommand("qpdf --empty --pages " + brochure + " 1-15 " + tmpl + " 1 -- " +
                         dir.file("mixed.pdf")),
              0);
    ASSERT_EQ(vexa("impose " + dir.file("mixed.pdf") + " -t " + tmpl + " --dry-run"), 0) << out;
    EXPECT_TRUE(
        says("warning: the source's pages are not all of one size: 148.2 x 209.9 mm "
             "(pages 1-15); 320 x 230 mm (page 16)"))
        << out;
    // Frames left empty.
    generate("b13.pdf", "brochure(13)");
    ASSERT_EQ(vexa("impose " + dir.file("b13.pdf") + " -t " + tmpl + " --dry-run"), 0) << out;
    EXPECT_TRUE(says("warning: 3 of 16 frames stay empty")) << out;
    EXPECT_TRUE(says("frame 1 empty")) << out;
    // Two spot colours for a template with one placeholder colour.
    generate("bar.pdf", "booklet_template(True)");
    std::string other = readFile(brochure);
    for (std::size_t at; (at = other.find("PANTONE#20286#20C")) != std::string::npos;)
        other.replace(at, 17, "PANTONE#20300#20C");
    writeFile(dir.file("other.pdf"), other);
    ASSERT_EQ(runCommand("qpdf --empty --pages " + brochure + " 1-8 " + dir.file("other.pdf") +
                         " 9-16 -- " + dir.file("two.pdf")),
              0);
    ASSERT_EQ(vexa("impose " + dir.file("two.pdf") + " -t " + dir.file("bar.pdf") + " --dry-run"),
              0)
        << out;
    EXPECT_TRUE(
        says("warning: the template has placeholder colours for 1 spot colour (X), the "
             "source has 2 (PANTONE 286 C, PANTONE 300 C): 1 will not be shown"))
        << out;
}

TEST_F(ImposeJob, OnlyTheJobsOwnErrorsCount) {
    // A hot folder whose input folder is missing: the plug-in logs it when it starts.
    fs::create_directories(home.path() / "config" / "Orvanta");
    writeFile(iniPath(), "[Hotfolder]\nIn1=" + dir.file("no-such-folder") + "\n");
    ASSERT_EQ(impose("-o " + dir.file("ok.pdf"), &out), 0) << out;
    EXPECT_FALSE(says("####")) << out;
    std::string log = readFile((home.path() / "Documents" / "Orvanta" / "Vexa.txt").string());
    EXPECT_NE(log.find("####\tnot found!"), std::string::npos) << log;
    // A sound job logs no host error of its own (its sheets written ahead are not read
    // back to ask whether the output is a template).
    EXPECT_EQ(log.find("\t--\t"), std::string::npos) << log;
}

// A page whose content cannot be decoded is not carried over as it is (it would print
// blank or cut short while the job said it was placed): the job says which page, leaves
// its frame empty, and the file it writes is sound.
TEST_F(ImposeJob, APageWhoseContentCannotBeDecodedIsSaidAndNotPlaced) {
    std::string qdf = dir.file("b.qdf"), damaged = dir.file("damaged.pdf");
    ASSERT_EQ(runCommand("qpdf --qdf --object-streams=disable " + brochure + " " + qdf), 0);
    std::string text = readFile(qdf);
    std::size_t at = text.find("%% Contents for page 2");
    ASSERT_NE(at, std::string::npos);
    std::size_t dict = text.find("<<", at), data = text.find("stream\n", at),
                end = text.find("\nendstream", at);
    ASSERT_TRUE(dict < data && data < end);
    text.replace(data + 7, end - data - 7, "this is not deflated data");
    text.insert(dict + 2, " /Filter /FlateDecode");
    writeFile(qdf, text);
    ASSERT_EQ(runCommand("fix-qdf " + qdf + " > " + damaged), 0);
    EXPECT_EQ(vexa("impose " + damaged + " -t " + bundled("Booklet_2up_A4.pdf") + " -o " +
                   dir.file("out.pdf")),
              1)
        << out;
    EXPECT_TRUE(says("1 of the job's 16 pages of " + damaged +
                     " could not be read (page 2): its content cannot be decoded (the file is "
                     "damaged)"))
        << out;
    EXPECT_TRUE(says("out.pdf was written, but the job counted 1 error\n")) << out;
    EXPECT_TRUE(says("15 pages placed, 1 empty frame")) << out;
    EXPECT_EQ(runCommand("qpdf --check " + dir.file("out.pdf") + " > /dev/null"), 0);
}

TEST_F(ImposeJob, FilesFoldersAndThePlugInAreNamedWithTheReason) {
    EXPECT_EQ(impose("-o /missing/dir/out.pdf", &out), 2);
    EXPECT_TRUE(
        says("vexa: the output /missing/dir/out.pdf cannot be written: the folder "
             "/missing/dir does not exist"))
        << out;
    EXPECT_EQ(impose("-o " + brochure + "/out.pdf", &out), 2);
    EXPECT_TRUE(says(brochure + " is not a folder")) << out;
    EXPECT_EQ(impose("-o " + dir.file(std::string(300, 'n') + ".pdf"), &out), 2);
    EXPECT_TRUE(says("is too long (304 bytes, at most 255)")) << out;
    if (::geteuid() != 0) {
        fs::create_directory(dir.path() / "locked");
        fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(impose("-o " + dir.file("locked/o.pdf"), &out), 2);
        EXPECT_TRUE(says("no permission to write into the folder " + dir.file("locked"))) << out;
    }
    // Source and template are never overwritten, however the path is written.
    EXPECT_EQ(impose("-o " + dir.path().string() + "/./brochure.pdf", &out), 2);
    EXPECT_TRUE(says("is the source itself")) << out;
    fs::create_symlink(tmpl, dir.path() / "t-link.pdf");
    EXPECT_EQ(impose("-o " + dir.file("t-link.pdf"), &out), 2);
    EXPECT_TRUE(says("is the template itself")) << out;
    EXPECT_EQ(vexa("impose " + brochure + " -t " + dir.file("missing.pdf")), 2);
    EXPECT_TRUE(says("vexa: the template " + dir.file("missing.pdf") + " does not exist")) << out;
    // A template cut short is damaged; a file encrypted for certificates is encrypted.
    std::string data = readFile(tmpl);
    writeFile(dir.file("cut.pdf"), data.substr(0, data.size() * 2 / 3));
    EXPECT_EQ(vexa("impose " + brochure + " -t " + dir.file("cut.pdf")), 2);
    EXPECT_TRUE(says("the template " + dir.file("cut.pdf") + " is damaged")) << out;
    std::string src = readFile(brochure);
    std::size_t trailer = src.find("<<", src.rfind("trailer"));
    src.insert(trailer + 2,
               " /Encrypt << /Filter /Adobe.PubSec /SubFilter /adbe.pkcs7.s5 /V 4 /Length 128 "
               "/Recipients [<3082>] >> /ID [<0102><0102>]");
    writeFile(dir.file("locked.pdf"), src);
    EXPECT_EQ(vexa("impose " + dir.file("locked.pdf") + " -t " + tmpl), 2);
    EXPECT_TRUE(says(dir.file("locked.pdf") + " is encrypted")) << out;
    // The plug-in that does not start, or is not there, and why.
    EXPECT_EQ(vexa("--host-version 12.0 impose " + brochure + " -t " + tmpl), 1);
    EXPECT_TRUE(says("is not loaded: declined to initialise")) << out;
    fs::create_directory(dir.path() / "none");
    EXPECT_EQ(vexa("--plugins " + dir.file("none") + " impose " + brochure), 1);
    EXPECT_TRUE(says("the Vexa plug-in was not found in " + dir.file("none"))) << out;
}

TEST_F(ImposeJob, EveryCommandDescribesItselfAndInfoNamesTheUsersFiles) {
    ASSERT_EQ(vexaStdout("impose --help"), 0) << out;
    for (const char* option :
         {"--template", "--second-sheet", "--binding", "--align", "--creep", "--scale", "--pages",
          "--map-spot", "--spot-black", "--output", "--job", "--dry-run", "--json", "DlgUnits",
          "0 to 5 mm", "default: saddle", "10 to 1000 (default: 100)"})
        EXPECT_TRUE(says(option)) << option;
    std::string help = out;
    EXPECT_EQ(vexaStdout("impose -h"), 0);
    EXPECT_EQ(out, help);
    EXPECT_EQ(vexaStdout("run --help"), 0);
    EXPECT_TRUE(says("--virtual-clock")) << out;
    EXPECT_EQ(vexaStdout("info -h"), 0);
    EXPECT_TRUE(says("usage: vexa info")) << out;
    EXPECT_EQ(vexaStdout("hotfolder --help"), 0);
    EXPECT_TRUE(says("--once") && says("--list")) << out;
    EXPECT_EQ(vexaStdout("-h"), 0);
    EXPECT_TRUE(says("vexa COMMAND --help")) << out;
    ASSERT_EQ(vexaStdout("info"), 0) << out;
    EXPECT_TRUE(says("preferences: " + iniPath() + " (not written yet)\n")) << out;
    EXPECT_TRUE(says("log: " + (home.path() / "Documents" / "Orvanta" / "Vexa.txt").string()))
        << out;
}

TEST_F(ImposeJob, AMappedSpotColourIsMappedInEveryColourSpaceThatNamesIt) {
    // Two files of one brochure joined: two colour spaces name the same spot colour.
    fs::copy_file(brochure, dir.path() / "copy.pdf");
    ASSERT_EQ(runCommand("qpdf --empty --pages " + brochure + " 1-8 " + dir.file("copy.pdf") +
                         " 9-16 -- " + dir.file("joined.pdf")),
              0);
    ASSERT_EQ(vexa("impose " + dir.file("joined.pdf") + " -t " + tmpl +
                   " --map-spot \"PANTONE 286 C=cyan\" -o " + dir.file("cyan.pdf")),
              0)
        << out;
    std::string qdf;
    ASSERT_EQ(
        runCommand("qpdf --qdf --object-streams=disable " + dir.file("cyan.pdf") + " -", &qdf), 0);
    EXPECT_EQ(qdf.find("PANTONE"), std::string::npos);
}
