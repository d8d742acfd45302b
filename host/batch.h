// A workbook applied to many images, each its own transaction: the plan
// (the workbook's sheets, checked once) and its run on one image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands.h"
#include "identify.h"
#include "library.h"

namespace calvex_host {

struct PlanStep {
  const SheetEntry* sheet;
  SheetCells cells;
};

// A workbook's sheets with their checked cells, and the options it runs with
// (the Info sheet's LTE layout unless --layout was given).
struct BookPlan {
  std::string book_path;
  std::string book_name;
  std::string source_kind = "workbook";  // what book_path is: "workbook", "sheet file"
  bool folder = false;  // a folder of sheet files (dump -o DIR/), not a workbook
  Options options;
  BookInfo info;  // what the workbook's Info sheet recorded of its image
  std::vector<PlanStep> steps;
};

// Reads and checks the workbook, or the folder of sheet files dump -o DIR/
// wrote (its Info.csv in place of the Info sheet); prints every problem. Returns 0 when plan
// is ready, else the exit status (2: nothing can be written).
int plan_workbook(const std::string& book_path, const Options& options, BookPlan* plan);

// What happened to one image.
struct ImageResult {
  std::string image;
  std::string status = "failed";  // ok, equal, would change, dry run, failed
  size_t sheets_written = 0;
  uint64_t bytes_changed = 0;     // outside --ignore areas
  std::string message;            // why it failed
};

enum class PlanUse {
  kApplyTelling,  // one image: every library message as it comes (apply of one image)
  kApplyQuiet,    // one of many: only the library's errors and warnings
  kVerify,        // run on memory only: does the image already hold the workbook?
};

// Runs every sheet of the plan on one in-memory copy of the image and, for
// an apply, replaces the image (or -o) once: one temporary written, flushed
// and renamed; a failure leaves the image as it was. Returns the exit status
// of that image (verify: 0 equal, 1 would change or failed).
int apply_plan(const BookPlan& plan, const std::string& image, PlanUse use, ImageResult* result);

// apply_plan on every image in turn (command: "apply", "verify", "write"),
// a summary line per image, the total and the --report. Returns the worst
// exit status (verify: 1 unless every image holds the plan).
int run_plan_on_images(const std::string& command, const BookPlan& plan, const std::vector<std::string>& images,
                       PlanUse use, const Options& options);

}  // namespace calvex_host
