// SPECS options through the public Optimizer object.

#include "driver/optimizer_impl.hpp"
#include "specs/specs.hpp"

namespace kavro {

int Optimizer::setSpecsLine(std::string_view line) {
  int errors = 0;
  kavro::setSpecsLine(impl_->params, line, impl_->channels(), errors);
  return errors;
}

std::string Optimizer::explainedSpecsLine(std::string_view line) {
  return kavro::setSpecsLineExplained(impl_->params, line, impl_->channels());
}

int Optimizer::setSpecsInteger(std::string_view keywords, int64_t value) {
  int errors = 0;
  kavro::setSpecsInteger(impl_->params, keywords, value, impl_->channels(), errors);
  return errors;
}

int Optimizer::setSpecsReal(std::string_view keywords, double value) {
  int errors = 0;
  kavro::setSpecsReal(impl_->params, keywords, value, impl_->channels(), errors);
  return errors;
}

Optimizer::SpecsStatus Optimizer::readSpecsFile(int problemNumber) {
  Impl& s = *impl_;
  const SpecsReadOutcome r = kavro::readSpecsFile(s.params, problemNumber, s.params.specsFile, s.units, s.channels());
  return SpecsStatus{static_cast<int>(r.result), r.rejectedLines};
}

}  // namespace kavro
