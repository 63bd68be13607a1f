#include "builtin_example.hpp"

namespace kavro::app {

Problem builtinExample() {
  // minimize 2 x1 + 3 x2 + 5 x3
  //   DEMAND:  x1 + x2 +   x3 >= 10
  //   BALANCE: x1 - x2        <=  2
  //   MIX:          x2 + 2 x3  =  8
  //   0 <= x1 <= 6,  x2 >= 0,  0 <= x3 <= 10
  Problem p;
  p.m = 4;  // three constraints and the objective row COST
  p.n = 3;
  p.objRow = 3;
  p.names = {"BLEND   ", "COST    ", "RHS     ", "        ", "BOUNDS  "};
  p.columnNames = {"X1", "X2", "X3"};
  p.rowNames = {"DEMAND", "BALANCE", "MIX", "COST"};
  p.a.colStart = {0, 3, 7, 10};
  p.a.row = {0, 1, 3, 0, 1, 2, 3, 0, 2, 3};
  p.a.value = {1.0, 1.0, 2.0, 1.0, -1.0, 1.0, 3.0, 1.0, 2.0, 5.0};
  p.lower = {0.0, 0.0, 0.0, -kInfinity, -2.0, -8.0, -kInfinity};
  p.upper = {6.0, kInfinity, 10.0, -10.0, kInfinity, -8.0, kInfinity};
  return p;
}

}  // namespace kavro::app
