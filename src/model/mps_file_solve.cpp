// An MPS file solved into a ModelResult as the kavro command solves it: the same units, SPECS
// blocks, reader, limits and storage (driver/mps_load.hpp, driver/command_solve.hpp), so that a
// caller of the library gets what `kavro --specs FILE MODEL.mps` prints, in the file's numbering.

#include <chrono>
#include <cstdio>
#include <numeric>

#include "driver/command_solve.hpp"
#include "driver/mps_load.hpp"
#include "driver/optimizer_impl.hpp"
#include "driver/run_files.hpp"
#include "kavro/model.hpp"
#include "model/model_answer.hpp"
#include "nl/nl_sol.hpp"

namespace kavro {

namespace {

// The command's unit numbers, so that SPECS files written for it ("Print file 9", "Summary
// file 6") mean the same here and the file-clash rules name the same units.
constexpr int kSpecsUnit = 4;
constexpr int kSummaryUnit = 6;
constexpr int kPrintUnit = 9;
constexpr int kProblemUnit = 98;
// Where the reader's messages go when no print file is asked for: a unit the command leaves
// alone, so that "Print file 9" without a print path still writes fort.9 as the command does.
constexpr int kReaderUnit = 97;

// What Optimizer::readSpecsFile says of a block.
constexpr int kBlockRead = 0;
constexpr int kEndOfFileInBlock = 2;
constexpr int kEndOfFileBeforeBlock = 3;
constexpr int kEndRun = 4;

// A report written to an unnamed temporary file and read back: the result carries the summary,
// and the " EXIT -- " and " XXX " lines say what happened in the command's own words (the MPS
// reader names the faults of a file on the print file only).
class ReportCapture {
 public:
  explicit ReportCapture(int unit) : unit_(unit), stream_(std::tmpfile()) {}
  ~ReportCapture() {
    if (stream_) std::fclose(stream_);
  }
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  std::FILE* stream() const { return stream_; }

  std::string text(Optimizer& opt) const {
    if (!stream_) return {};
    internalsOf(opt).units.flush(unit_);
    std::string all;
    std::rewind(stream_);
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, stream_)) > 0;) all.append(buffer, got);
    std::fseek(stream_, 0, SEEK_END);
    return all;
  }

 private:
  int unit_;
  std::FILE* stream_;
};

// The report's lines that start with `mark`, joined, without the mark and the X's and blanks
// that follow it (" XXXX  Illegal row type" and " XXX  ..." alike); the last one only when
// `lastOnly`.
std::string linesStarting(const std::string& report, std::string_view mark, bool lastOnly) {
  std::string found;
  for (size_t at = 0; at < report.size();) {
    size_t end = report.find('\n', at);
    if (end == std::string::npos) end = report.size();
    const std::string_view line(report.data() + at, end - at);
    if (line.starts_with(mark)) {
      std::string_view said = line.substr(mark.size());
      while (!said.empty() && (said.front() == 'X' || said.front() == ' ')) said.remove_prefix(1);
      if (lastOnly || found.empty()) found = said;
      else found += "; " + std::string(said);
    }
    at = end + 1;
  }
  return found;
}

ModelResult refused(const std::string& why, int32_t exitCode = kInvalidProblemData) {
  ModelResult r;
  r.status = ModelStatus::kInvalidModel;
  r.exitCode = exitCode;
  r.message = why;
  return r;
}

std::string clashText(const std::vector<FileClash>& clashes) {
  std::string text;
  for (const FileClash& c : clashes) text += (text.empty() ? "" : "; ") + c.text;
  return text + ": an output would be written over an input or another output";
}

// The answer in the file's numbering: columns are the variables, the rows other than the
// objective row the constraints.
ModelResult answerOf(MpsLoad&& loaded, const Parameters& params, const SolveResult& solved) {
  const Problem& p = loaded.problem;
  model::ModelData data;
  data.sense = params.objectiveSense < 0 ? Sense::kMaximize : Sense::kMinimize;
  data.lower.assign(static_cast<size_t>(p.n), 0.0);
  model::Layout layout;
  layout.columnOf.resize(static_cast<size_t>(p.n));
  std::iota(layout.columnOf.begin(), layout.columnOf.end(), 0);
  ModelResult r;
  for (int32_t row = 0; row < p.m; ++row) {
    if (row == p.objRow) continue;
    layout.rowOf.push_back(row);
    if (static_cast<size_t>(row) < p.rowNames.size()) r.constraintNames.push_back(p.rowNames[row]);
  }
  data.conLower.assign(layout.rowOf.size(), 0.0);
  r.variableNames = p.columnNames;
  layout.problem = std::move(loaded.problem);
  r.exitCode = solved.exitCode;
  r.status = model::statusOf(solved.exitCode, false);
  r.objective = solved.objValue;
  model::mapAnswer(data, layout, loaded.state, {}, r);
  r.iterations = solved.minorIterations;
  r.majorIterations = solved.majorIterations;
  r.runs = solved.runs;
  r.certificate = solved.certificate;
  return r;
}

class MpsFileSolve {
 public:
  MpsFileSolve(const std::string& path, const MpsFileRun& run, std::span<const std::string> options,
               IterationCallback progress)
      : run_(run), options_(options), progress_(std::move(progress)) {
    if (summary_.stream()) opt_.connectStream(kSummaryUnit, summary_.stream(), "summary report");
    if (!run.printPath.empty()) opt_.connectUnit(kPrintUnit, run.printPath);
    if (print_.stream()) opt_.connectStream(kReaderUnit, print_.stream(), "MPS reader's messages");
    if (!run.specsPath.empty()) opt_.connectUnit(kSpecsUnit, run.specsPath);
    opt_.connectUnit(kProblemUnit, path);
    internalsOf(opt_).units.declareUse({kProblemUnit, "problem file", FileUse::Kind::kInput});
  }

  ModelResult solve() {
    ModelResult r = solveBlocks();
    r.summary = summary_.text(opt_);
    if (r.status == ModelStatus::kInvalidModel) {
      const std::string reported = linesStarting(print_.text(opt_) + r.summary, " XXX", false);
      if (!reported.empty()) r.message += ": " + reported;
    } else if (std::string exit = linesStarting(r.summary, " EXIT -- ", true); !exit.empty()) {
      r.message = exit;
    } else {
      r.message = nl::solveResultCode(r.exitCode).text;
    }
    return r;
  }

 private:
  ModelResult solveBlocks() {
    using Kind = FileUse::Kind;
    std::vector<FileUse> uses;
    if (!run_.printPath.empty()) uses.push_back({kPrintUnit, "print file", Kind::kReport});
    if (!run_.specsPath.empty()) uses.push_back({kSpecsUnit, "SPECS file", Kind::kInput});
    if (auto clashes = findFileClashes(internalsOf(opt_).units, uses); !clashes.empty())
      return refused(clashText(clashes), kFileClash);
    opt_.initialize({run_.printPath.empty() ? 0 : kPrintUnit, summary_.stream() ? kSummaryUnit : 0,
                     run_.specsPath.empty() ? 0 : kSpecsUnit});
    if (run_.specsPath.empty()) return solveBlock();
    ModelResult r;
    for (int problemNumber = 1;; ++problemNumber) {
      const int read = opt_.readSpecsFile(problemNumber).result;
      if (problemNumber > 1 && (read == kEndOfFileBeforeBlock || read == kEndRun)) return r;
      if (read == kEndRun)
        return refused(run_.specsPath + ": ENDRUN before any Begin ... End block: nothing was solved");
      if (read != kBlockRead)
        return refused(run_.specsPath + (read == kEndOfFileInBlock ? ": the file ends inside a Begin ... End block"
                                                                   : ": no Begin ... End block found"));
      r = solveBlock();
      if (r.status == ModelStatus::kInvalidModel || r.exitCode == kOutOfMemory) return r;
    }
  }

  ModelResult solveBlock() {
    for (const std::string& line : options_)
      if (opt_.setSpecsLine(line) != 0) return refused("'" + line + "' is not an option");
    Optimizer::Impl& s = internalsOf(opt_);
    if (auto clashes = runFileClashes(s.params, s.units); !clashes.empty())
      return refused(clashText(clashes), kFileClash);
    if (InputUnit* again = s.units.input(kProblemUnit)) again->rewind();
    const auto started = std::chrono::steady_clock::now();
    // Without a print file the reader's messages (the faults of the file) go to a capture, and
    // only they: the run itself must print what the command prints without --print.
    const bool captureReader = s.params.printFile == 0 && print_.stream();
    if (captureReader) s.params.printFile = kReaderUnit;
    MpsLoad loaded = loadMpsProblem(opt_, kProblemUnit, run_.freeMps ? MpsFormat::kFree : MpsFormat::kAutomatic,
                                    run_.relaxIntegers ? MpsIntegers::kRelax : MpsIntegers::kRefuse);
    if (captureReader) s.params.printFile = 0;
    if (!loaded.unreadable.empty())
      return refused("cannot read the MPS file " + s.units.pathOf(kProblemUnit) + ": " + loaded.unreadable,
                     loaded.exitCode);
    if (!loaded.ok)
      return refused(loaded.integerColumns > 0 && !run_.relaxIntegers
                         ? "the MPS file describes an integer program; relax_integers solves its continuous relaxation"
                         : "the MPS file has errors",
                     loaded.exitCode);
    CommandSolve how;
    how.progress = progress_;
    const SolveResult solved = solveAsCommand(opt_, loaded.problem, loaded.state, how);
    if (solved.exitCode == kFileClash) return refused("an output would be written over an input", kFileClash);
    ModelResult r = answerOf(std::move(loaded), s.params, solved);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return r;
  }

  ReportCapture summary_{kSummaryUnit};
  ReportCapture print_{kReaderUnit};
  Optimizer opt_;
  const MpsFileRun& run_;
  std::span<const std::string> options_;
  IterationCallback progress_;
};

}  // namespace

ModelResult solveMpsFile(const std::string& path, const MpsFileRun& run, std::span<const std::string> options,
                         IterationCallback progress) {
  return MpsFileSolve(path, run, options, std::move(progress)).solve();
}

}  // namespace kavro
