NAME NLCOPY
ROWS
 G c0
 G c1
 G c2
 G c3
 N obj
COLUMNS
 x0 c0 60.0
 x0 c1 10.0
 x0 c2 15.0
 x0 c3 20.0
 x0 obj 3.19
 x1 c0 8.0
 x1 c1 20.0
 x1 c2 20.0
 x1 obj 2.59
 x2 c0 8.0
 x2 c1 15.0
 x2 c2 10.0
 x2 c3 10.0
 x2 obj 2.29
 x3 c0 40.0
 x3 c1 35.0
 x3 c2 10.0
 x3 c3 40.0
 x3 obj 2.89
 x4 c0 15.0
 x4 c1 15.0
 x4 c2 15.0
 x4 c3 35.0
 x4 obj 1.89
 x5 c0 70.0
 x5 c1 15.0
 x5 c2 15.0
 x5 c3 30.0
 x5 obj 1.99
 x6 c0 25.0
 x6 c1 25.0
 x6 c2 15.0
 x6 c3 50.0
 x6 obj 1.99
 x7 c0 60.0
 x7 c1 15.0
 x7 c2 10.0
 x7 c3 20.0
 x7 obj 2.49
RHS
 rhs c0 700.0
 rhs c1 700.0
 rhs c2 700.0
 rhs c3 700.0
RANGES
 rng c0 9300.0
 rng c1 9300.0
 rng c2 9300.0
 rng c3 9300.0
BOUNDS
 UP bnd x0 100.0
 UP bnd x1 100.0
 UP bnd x2 100.0
 UP bnd x3 100.0
 UP bnd x4 100.0
 UP bnd x5 100.0
 UP bnd x6 100.0
 UP bnd x7 100.0
ENDATA
