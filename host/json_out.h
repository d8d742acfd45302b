// --format json: every command's result as one JSON document on standard
// output (or -o FILE.json), laid out as docs/json.md describes and
// docs/calvex-output.schema.json checks. The document is an object with
// "command", "calvex_version", "exit_status", "messages" (every library
// message the run showed, in order: its text, class and gloss),
// "diagnostics" (calvex's own lines on standard error, in order) and the
// command's own members, which each json_* call below sets.
//
// Standard error keeps its lines in either format; with --format json,
// standard output carries the document only (text the commands print there
// is dropped). The --report FILE.json of many images is the same document.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "batch.h"
#include "commands.h"
#include "identify.h"
#include "library.h"

namespace calvex_host {

// Turns the JSON document on: standard output is kept for it.
void set_json_output(bool on);
bool json_output();

// True when path names a JSON file (by its extension, any case).
bool is_json_path(const std::string& path);

// Records what the run showed (always; the document and --report FILE.json
// list them). `shown` is the class as calvex printed the line ("ok",
// "error", "warning", "dry run", "discarded").
void record_library_message(const SheetEntry& sheet, int32_t layout, const ShownMessage& message,
                            const std::string& shown);
void record_diagnostic(const std::string& line);
// The last diagnostic recorded, or the empty string.
std::string last_diagnostic();

// The command's members of the document.
void json_list();
void json_describe(const SheetEntry& sheet);
void json_read(const SheetEntry& sheet, int32_t layout, const std::string& image, const SheetCells& cells);
void json_identify(const std::string& image, uint64_t size, const std::vector<Candidate>& candidates);
void json_diff(const std::string& a, const std::string& b, calvex::Family family, const DiffFindings& findings);
// A dry run of write or apply: what the write would change in the image,
// cell by cell (of the sheets that have a read; `cells_shown` false when
// none has) and in byte runs.
void json_dry_run(const std::string& image, bool cells_shown, const DiffFindings& findings);
// apply and verify of a workbook, write of a sheet file into many images:
// the source under `key` ("workbook", "sheet_file"), one entry per image,
// the totals by status.
void json_batch(const std::string& key, const std::string& source, const std::vector<ImageResult>& results);
// diff --golden: the golden image, one entry per image with its differences
// (findings[i] for results[i]), the totals by status.
void json_diff_golden(const std::string& golden, calvex::Family family, const std::vector<ImageResult>& results,
                      const std::vector<DiffFindings>& findings);

// The document so far for `command` ending with exit status `status`, as
// indented UTF-8 text ending in a newline.
std::string json_document(const std::string& command, int status);

}  // namespace calvex_host
