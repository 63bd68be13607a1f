#include "nl/nl_structure.hpp"

#include <algorithm>
#include <string>

#include "nl/nl_input.hpp"

namespace kavro::nl {

namespace {

// Defined variables used directly by expression e (repeats included).
void usedDefined(const Tape& tape, int32_t e, std::vector<int32_t>& out) {
  out.clear();
  tape.forEachOperand(e, [&](uint32_t slot) {
    if (tape.isDefined(slot)) out.push_back(static_cast<int32_t>(slot - tape.definedBase()));
  });
}

// Depth-first order over the "uses" relation with an explicit stack: 0 unvisited, 1 on the
// current path, 2 done.
std::vector<int32_t> definedOrder(const Model& m) {
  const int32_t count = m.nDefined();
  std::vector<uint8_t> state(static_cast<size_t>(count), 0);
  std::vector<int32_t> order, uses;
  order.reserve(count);
  struct Visit {
    int32_t v;
    std::vector<int32_t> pending;
  };
  std::vector<Visit> stack;
  for (int32_t root = 0; root < count; ++root) {
    if (state[root] != 0) continue;
    usedDefined(m.tape, m.definedExpression(root), uses);
    stack.push_back({root, uses});
    state[root] = 1;
    while (!stack.empty()) {
      Visit& top = stack.back();
      if (top.pending.empty()) {
        state[top.v] = 2;
        order.push_back(top.v);
        stack.pop_back();
        continue;
      }
      const int32_t next = top.pending.back();
      top.pending.pop_back();
      if (state[next] == 1)
        throw ReadError("defined variable " + std::to_string(m.nVars() + next) + " depends on itself");
      if (state[next] == 2) continue;
      usedDefined(m.tape, m.definedExpression(next), uses);
      state[next] = 1;
      stack.push_back({next, uses});
    }
  }
  return order;
}

class VariableSets {
 public:
  explicit VariableSets(Model& m) : m_(m), stamp_(static_cast<size_t>(m.nVars()), -1) {
    lists_.resize(m.tape.expressions());
  }

  void build() {
    for (int32_t v : m_.definedOrder) collect(m_.definedExpression(v), &m_.definedLinear, v);
    for (int32_t e = 0; e < m_.nObjs() + m_.nCons(); ++e) collect(e, nullptr, 0);
    IndexLists& out = m_.expressionVars;
    out.start.assign(lists_.size() + 1, 0);
    out.index.clear();
    for (size_t e = 0; e < lists_.size(); ++e) {
      out.index.insert(out.index.end(), lists_[e].begin(), lists_[e].end());
      out.start[e + 1] = static_cast<int32_t>(out.index.size());
    }
  }

 private:
  void add(int32_t var, int32_t e, std::vector<int32_t>& list) {
    if (stamp_[var] == e) return;
    stamp_[var] = e;
    list.push_back(var);
  }

  void collect(int32_t e, const LinearParts* linear, int32_t v) {
    std::vector<int32_t>& list = lists_[e];
    if (linear)
      for (const LinearTerm* t = linear->begin(v); t != linear->end(v); ++t) add(t->var, e, list);
    const Tape& tape = m_.tape;
    tape.forEachOperand(e, [&](uint32_t slot) {
      if (tape.isVariable(slot)) add(static_cast<int32_t>(slot), e, list);
      if (!tape.isDefined(slot)) return;
      const int32_t v = static_cast<int32_t>(slot - tape.definedBase());
      for (int32_t var : lists_[m_.definedExpression(v)]) add(var, e, list);
    });
    std::sort(list.begin(), list.end());
    total_ += list.size();
    if (total_ > kLimit) throw ReadError("the defined variables depend on too many variables to be handled");
  }

  static constexpr size_t kLimit = size_t{1} << 26;  // 300 times what the largest model of the set needs
  Model& m_;
  std::vector<int32_t> stamp_;
  std::vector<std::vector<int32_t>> lists_;
  size_t total_ = 0;
};

// Every variable of an objective's or a constraint's expression is in its G or J list.
void checkPatterns(const Model& m) {
  auto check = [&](int32_t e, const LinearParts& parts, int32_t f, const char* what) {
    const LinearTerm* t = parts.begin(f);
    const LinearTerm* end = parts.end(f);
    for (const int32_t* v = m.expressionVars.begin(e); v != m.expressionVars.end(e); ++v) {
      while (t != end && t->var < *v) ++t;
      if (t == end || t->var != *v)
        throw ReadError(std::string(what) + " " + std::to_string(f) + ": variable " + std::to_string(*v) +
                        " occurs in its expression but not in its " + (what[0] == 'o' ? "G" : "J") + " segment");
    }
  };
  for (int32_t k = 0; k < m.nObjs(); ++k) check(m.objExpression(k), m.objLinear, k, "objective");
  for (int32_t i = 0; i < m.nCons(); ++i) check(m.conExpression(i), m.conLinear, i, "constraint");
}

}  // namespace

void analyzeStructure(Model& model) {
  model.definedOrder = definedOrder(model);
  VariableSets(model).build();
  checkPatterns(model);
}

}  // namespace kavro::nl
