#include "app/create_file/create_files.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/create_file/file_copy.h"
#include "app/data/data_snapshot.h"
#include "app/data/declarations.h"
#include "app/data/globals.h"
#include "app/data/open_checked_file.h"
#include "app/data/outcome.h"
#include "app/data/output_check.h"
#include "app/data/standard_message.h"
#include "app/data/thread_block.h"
#include "app/data/window_position.h"
#include "app/shell/procedures.h"
#include "runtime/access.h"
#include "runtime/current_folder.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/output_file.h"
#include "runtime/picture.h"
#include "runtime/text.h"
#include "ui/dialogs.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

using ui::ControlDef;
using ui::ControlKind;

constexpr char kSection[] = "CreateFiles";

// Opened and, on the way out, released in this order; a copy reads one
// state of all of them.
const std::vector<DataFile> kCopyFiles = {DataFile::kCategory, DataFile::kFeatures,
                                          DataFile::kIssues, DataFile::kReview,
                                          DataFile::kSupplier};
constexpr char kXbase[] = "Xbase";
constexpr char kText[] = "Text (Delim)";

// The controls a user could act on; they rest while a copy runs.
constexpr int kInputControls[] = {kCreateSourceGroup, kCreateTypeGroup, kCreateName,
                                  kCreatePick,        kCreateStart,     kCreateCancel};

ControlDef Radio(int id, const char* text, ui::Rect at) {
  return {.kind = ControlKind::kRadio, .id = id, .text = text, .at = at, .value = text};
}

ControlDef Button(int id, const char* text, ui::Rect at, const char* tip) {
  return {.kind = ControlKind::kButton, .id = id, .text = text, .at = at, .help = tip};
}

ControlDef StringControl(int id, ui::Rect at) {
  return {.kind = ControlKind::kString, .id = id, .at = at, .picture = "s20"};
}

ui::WindowDef BuildWindow() {
  ui::WindowDef d;
  d.name = "CREATEFILES$WINDOW";
  d.title = "Create File Copy";
  d.width = 305;
  d.height = 149;
  d.flags = ui::kMdiChild;
  d.help = "createfile.html";
  d.controls = {
      {.kind = ControlKind::kOption,
       .id = kCreateSourceGroup,
       .text = "File to Copy",
       .at = {6, 4, 92, 80},
       .children = {Radio(kCreateFeatures, "Features", {14, 16, 76, 10}),
                    Radio(kCreateIssues, "Issues", {14, 28, 76, 10}),
                    Radio(kCreateCategory, "Category", {14, 40, 76, 10}),
                    Radio(kCreateReview, "Review", {14, 52, 76, 10}),
                    Radio(kCreateSupplier, "Supplier", {14, 64, 76, 10})}},
      {.kind = ControlKind::kOption,
       .id = kCreateTypeGroup,
       .text = "File Type",
       .at = {104, 4, 92, 44},
       .children = {Radio(kCreateXbase, kXbase, {112, 16, 76, 10}),
                    Radio(kCreateText, kText, {112, 28, 76, 10})}},
      // The name is held whole: a name cut to a width would write elsewhere.
      {.kind = ControlKind::kEntry,
       .id = kCreateName,
       .at = {46, 92, 198, 12},
       .picture = "s255",
       .help = "Enter File Name",
       .file_name = true},
      Button(kCreatePick, "Pick a File", {248, 91, 50, 14}, "Pick a File"),
      Button(kCreateStart, "Start File Copy", {206, 8, 92, 14}, "Start File Copy"),
      Button(kCreateCancel, "Cancel", {206, 26, 92, 14}, "Cancel and Close Window"),
      {.kind = ControlKind::kPrompt,
       .id = kCreateNamePrompt,
       .text = "Filename:",
       .at = {6, 94, 38, 10}},
      StringControl(kCreateStatus, {46, 128, 120, 10}),
      {.kind = ControlKind::kProgress, .id = kCreateProgress, .at = {46, 114, 252, 10}},
      StringControl(kCreatePercent, {178, 128, 120, 10}),
      {.kind = ControlKind::kPrompt,
       .id = kCreateProgressPrompt,
       .text = "Progress:",
       .at = {6, 114, 38, 10}},
  };
  return d;
}

// The current folder joined with `file`.
std::string InCurrentFolder(const std::string& file) {
  return CurrentFolder().value_or(".") + "/" + file;
}

// The current folder joined with the source choice and the type's extension.
std::string DefaultName(const std::string& source, const std::string& type) {
  return InCurrentFolder(std::string(Clip(source)) + (type == kXbase ? ".dbf" : ".txt"));
}

std::string DialogFilter(const std::string& type) {
  return type == kXbase ? "Xbase|*.dbf|All Files|*.*" : "Text|*.txt|All Files|*.*";
}

void ShowProgress(ui::Window& w, int percent) {
  w.SetValue(kCreateProgress, std::to_string(percent));
  w.SetValue(kCreatePercent, PercentText(percent));
  w.Display();
}

// The copy in the source's order, from the first record to the last.  The
// window shows its progress; the copy gives way between batches.  None when
// another process committed to the data files meanwhile (the target is then
// closed, to be dropped): the copy must start again to be one state of them.
ui::Task<std::optional<CopyTally>> RunCopy(ui::Window& w, const CopyPlan& plan, File& target,
                                           int64_t total, CopyPacing pacing,
                                           DataSnapshot& snapshot) {
  using Clock = std::chrono::steady_clock;
  FileCopy copy(plan, CurrentThread(), target, total);
  copy.Begin();
  int shown = 0;  // the bar's value
  int batch = 0;
  Clock::time_point batch_start = Clock::now();
  while (copy.more()) {
    copy.Step();
    if (shown < 100) {
      const int64_t copied = copy.tally().copied;
      const int percent =
          total > 0 ? static_cast<int>(std::min<int64_t>(copied * 100 / total, 100)) : 100;
      if (percent != shown) {
        shown = percent;
        ShowProgress(w, percent);
      }
    }
    // The clock is read every 64 records: often enough to keep to the
    // budget, rarely enough to cost nothing.
    ++batch;
    if (batch >= pacing.batch_records ||
        (batch % 64 == 0 &&
         Clock::now() - batch_start >= std::chrono::milliseconds(pacing.batch_ms))) {
      const int64_t pause = pacing.pause_ms;
      co_await ui::Sleep(pause);
      batch = 0;
      batch_start = Clock::now();
      if (snapshot.Changed()) break;
    }
  }
  if (snapshot.Changed()) {
    (void)target.Close();
    co_return std::nullopt;
  }
  copy.Finish();
  co_return copy.tally();
}

// "<name>.cpg" holding "1252" beside an xBase table: the code page file that
// many programs read (the table's header says the same in its language
// driver byte).
IoStatus WriteCodePageFile(const std::string& dbf_path) {
  const size_t slash = dbf_path.rfind('/');
  const size_t dot = dbf_path.rfind('.');
  const std::string stem =
      dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot > slash + 1
          ? dbf_path.substr(0, dot)
          : dbf_path;
  std::unique_ptr<OutputFile> out;
  IoStatus s = OutputFile::Begin(stem + ".cpg", &out);
  if (!s.ok()) return s;
  std::unique_ptr<FileHandle> file;
  s = out->OpenForWriting(&file);
  if (s.ok()) s = file->WriteAt(0, "1252");
  if (file) {
    const IoStatus closed = file->Close();
    if (s.ok()) s = closed;
  }
  return s.ok() ? out->Commit() : s;
}

// The box that says the target could not be made, with its name and why.
ui::Task<Outcome> CannotCreate(const std::string& path, const std::string& why) {
  ui::MessageRequest failed{"Unable to create Data File"};
  failed.detail = path + ": " + why;
  co_await ui::Message(failed);
  co_return Outcome::Failed("Unable to create Data File: " + failed.detail);
}

// "Start File Copy": the existence test, the target's creation, the copy and
// its closing message.  The copy is written to a temporary file beside the
// target and takes the target's name only once it is whole, so a copy that
// fails leaves a file that was there as it was.
ui::Task<Outcome> StartCopy(ui::Window& w, const CopyPlan& plan, bool xbase, std::string name,
                            CopyPacing pacing, bool ask_before_replacing, TextCopyOptions text) {
  File& source = CurrentThread().Data(plan.source);
  int64_t total = 0;
  if (source.Records(&total) != kNoError) total = 0;
  CreateFileName = name;
  // The run keeps its own copy of the name: another window's copy may set
  // CreateFileName while this one waits.
  FileDecl decl = xbase ? XbaseTargetDecl(plan.source) : TextTargetDecl(plan.source);
  decl.name_from = nullptr;
  decl.name = name;
  const std::string path = CopyTargetPath(plan.source, xbase, name);

  const OutputTarget there = InspectOutput(path);
  if (there == OutputTarget::kFolder || there == OutputTarget::kDataFile) {
    co_return co_await CannotCreate(path, RefusalText(there));
  }
  if (there == OutputTarget::kExisting && ask_before_replacing) {
    const ui::MessageRequest ask{"File already exists. Overwrite ?", "", ui::Icon::kInformation,
                                 ui::kButtonOk | ui::kButtonCancel, ui::kButtonCancel};
    const int pressed = co_await ui::Message(ask);
    if (pressed != ui::kButtonOk) co_return Outcome::Cancelled();
  }
  DataSnapshot snapshot;
  snapshot.Take(kCopyFiles);
  std::unique_ptr<OutputFile> output;
  CopyTally tally;
  for (;;) {
    if (const IoStatus s = OutputFile::Begin(path, &output); !s.ok()) {
      co_return co_await CannotCreate(path, IoStatusText(s));
    }
    decl.name = output->path();
    File target(decl);
    if (target.Create() != kNoError || target.Open(kOpenExclusive) != kNoError ||
        target.PostOpen() != kNoError || (!xbase && text.utf8 && target.Option("UTF8=ON")) ||
        (!xbase && text.header && target.Option("HEADER=ON"))) {
      const std::string why = ErrorDescription();
      if (target.is_open()) (void)target.Close();
      output->Abandon();
      co_return co_await CannotCreate(path, why);
    }

    w.SetValue(kCreateProgress, "0");
    w.SetValue(kCreateStatus, "Generating File");
    w.SetValue(kCreatePercent, "0% Completed");
    for (int id : kInputControls) w.Disable(id);
    w.Display();
    const std::optional<CopyTally> copied =
        co_await RunCopy(w, plan, target, total, pacing, snapshot);
    if (copied) {
      tally = *copied;
      break;
    }
    // Another process committed while the copy read: it starts again on
    // the data as it is now, or gives up when the data keeps changing.
    output->Abandon();
    if (!snapshot.Restart()) {
      tally.total = total;
      tally.read_failure = std::string("Reading stopped: ") + DataSnapshot::kKeptChanging;
      break;
    }
    if (source.Records(&total) != kNoError) total = 0;
  }
  if (tally.failed()) {
    output->Abandon();
  } else if (const IoStatus s = output->Commit(); !s.ok()) {
    tally.finish_failure = "Writing the file to disk failed: " + IoStatusText(s);
  } else if (xbase) {
    if (const IoStatus cpg = WriteCodePageFile(path); !cpg.ok()) {
      tally.finish_failure =
          "The code page file beside it could not be written: " + IoStatusText(cpg);
    }
  }

  ui::MessageRequest end = CopyEndMessage(tally);
  if (tally.failed()) end.detail = path;
  co_await ui::Message(end);
  for (int id : kInputControls) w.Enable(id);
  w.SetValue(kCreateProgress, "0");
  w.SetValue(kCreateStatus, "");
  w.SetValue(kCreatePercent, "");
  w.Display();
  co_return OutcomeOf(tally);
}

}  // namespace

std::string CopyTargetPath(DataFile source, bool xbase, const std::string& name) {
  FileDecl decl = xbase ? XbaseTargetDecl(source) : TextTargetDecl(source);
  decl.name_from = nullptr;
  decl.name = name;
  return File(decl).Name();
}

const ui::WindowDef& CreateFilesWindowDef() {
  static const ui::WindowDef def = BuildWindow();
  return def;
}

ui::Proc CreateFiles(CopyPacing pacing, bool ask_before_replacing, TextCopyOptions text) {
  ThreadBlock& block = CurrentThread();
  block.SharedRequest.value = 0;
  block.SharedResponse.value = 0;
  const std::vector<DataFile> files = kCopyFiles;
  co_await OpenDataFiles(files);
  Bindings& bindings = block.bindings();
  bindings.PushScope();
  bindings.Bind("FEA:ISSUE", block.Data(DataFile::kFeatures).Field(FEA::ISSUE));
  bindings.Bind("ISS:ISSUE_NUMB", block.Data(DataFile::kIssues).Field(ISS::ISSUE_NUMB));

  std::string name = InCurrentFolder("Features.dbf");
  std::string filter = DialogFilter(kXbase);
  ui::Window w(CreateFilesWindowDef());
  w.Open();
  RestoreWindowPosition(w, kSection);
  w.SetValue(kCreateSourceGroup, "Features");
  w.SetValue(kCreateTypeGroup, kXbase);
  w.SetValue(kCreateName, name);

  while (ui::Event e = co_await w.Accept()) {
    if (e.code == ui::EVENT_OpenWindow) {
      w.Display();
      w.Select(kCreateFeatures);
      continue;
    }
    if (e.code != ui::EVENT_Accepted) continue;
    const std::string source = w.Value(kCreateSourceGroup);
    const std::string type = w.Value(kCreateTypeGroup);
    switch (e.control) {
      case kCreateSourceGroup:
      case kCreateTypeGroup:
        name = DefaultName(source, type);
        if (e.control == kCreateTypeGroup) filter = DialogFilter(type);
        w.SetValue(kCreateName, name);
        break;
      case kCreateName:
        name = w.Value(kCreateName);
        break;
      case kCreatePick: {
        name = w.Value(kCreateName);
        if (Clip(name).empty()) name = DefaultName(source, type);
        filter = DialogFilter(type);
        ui::FileDialogRequest request;
        request.title = "Enter the name of your File";
        request.file = name;
        request.filter = filter;
        request.save = true;
        // The dialog may change the current folder; the data files live there.
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::current_path(ec);
        const std::optional<std::string> chosen = co_await ui::FileDialog(request);
        if (!ec) std::filesystem::current_path(folder, ec);
        if (chosen) name = *chosen;
        w.SetValue(kCreateName, name);
        break;
      }
      case kCreateStart: {
        name = w.Value(kCreateName);
        const CopyPlan* plan = FindCopyPlan(Clip(source));
        if (plan) {
          NotifyOutcome(co_await StartCopy(w, *plan, type == kXbase, name, pacing,
                                           ask_before_replacing, text));
        }
        break;
      }
      case kCreateCancel:
        w.Post(ui::EVENT_CloseWindow);
        break;
      default:
        break;
    }
  }

  SaveWindowPosition(w, kSection);
  w.Close();
  CloseDataFiles(files);
  bindings.PopScope();
  block.SharedResponse.value = RespCancelled;
}

void RegisterCreateFiles() {
  RegisterProcedure("CreateFiles", [] { return CreateFiles(); });
}

}  // namespace mirabo::app
