// The basis files within a run: which file a cold start reads, what each save of the New basis
// file writes. (The Punch and Dump files are written by the solution output.)

#include "driver/run_context.hpp"
#include "driver/run_hooks.hpp"
#include "files/basis_files.hpp"
#include "optimizer/run_main_loop.hpp"

namespace kavro {

namespace {

// Scale factors count only while the working problem is scaled (during the main loop); the
// solution output runs after unscaling.
BasisSource sourceOf(const RunContext& ctx) {
  const RunScaling& s = ctx.scaling;
  const std::span<const double> scales = s.applied ? std::span<const double>(s.factors) : std::span<const double>();
  return BasisSource{ctx.prob, scales, ctx.state.hs, ctx.state.x};
}

// Line 1 of a saved basis: the objective (in the sense of the problem) once feasible, the sum
// of infeasibilities before.
NewBasisHeader headerOf(const RunContext& ctx, const LoopProgress& progress, int32_t status) {
  NewBasisHeader h;
  h.itn = progress.itn;
  h.status = status;
  h.ninf = progress.ninf;
  h.objective = progress.ninf == 0 ? ctx.params.objectiveSense * progress.objValue : progress.sinf;
  return h;
}

}  // namespace

// The Old basis file if set, else the Insert file, else the Load file. True when the states
// now come from a file (or when the Old basis file does not fit: exit 30).
bool loadBasisFile(RunContext& ctx) {
  const Parameters& p = ctx.params;
  const int unit = p.oldBasisFile > 0 ? p.oldBasisFile : p.insertFile > 0 ? p.insertFile : p.loadFile;
  if (unit <= 0) return false;
  const char* label = p.oldBasisFile > 0 ? "Old basis" : p.insertFile > 0 ? "Insert" : "Load";
  InputUnit* in = ctx.units.openInput(unit);
  if (!in) {
    ctx.out.both(" XXX  %s file %d cannot be opened (%s: %s); the run starts without it", label, unit,
                 printableText(ctx.units.pathOf(unit)).c_str(), ctx.units.inputError(unit).c_str());
    return false;
  }
  if (unit != p.cardReader) in->rewind();
  const BasisFileChannel io{ctx.units, ctx.out, p};
  const BasisTarget target{ctx.prob, ctx.state.hs, ctx.state.x};
  const BasisReadResult r = p.oldBasisFile > 0 ? readOldBasis(io, unit, *in, target)
                            : p.insertFile > 0 ? readInsert(io, unit, *in, target)
                                               : readLoad(io, unit, *in, target);
  if (r.dimensionMismatch) {
    ctx.exitCode = kBasisFileMismatch;
    return true;
  }
  if (!r.loaded) return false;
  ctx.state.ns = r.superbasics;
  return true;
}

// The New basis file every few iterations and at the end; the Backup basis file too during the
// run, so that a run stopped while the New basis file is being written still leaves one whole.
void saveBasisFiles(RunContext& ctx, const LoopProgress& progress, int32_t status) {
  const Parameters& p = ctx.params;
  const BasisFileChannel io{ctx.units, ctx.out, p};
  const NewBasisHeader header = headerOf(ctx, progress, status);
  writeNewBasis(io, p.newBasisFile, sourceOf(ctx), header);
  if (status == kRunProceeding && p.backupBasisFile > 0) writeNewBasis(io, p.backupBasisFile, sourceOf(ctx), header);
}

}  // namespace kavro
