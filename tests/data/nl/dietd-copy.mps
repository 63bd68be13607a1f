NAME NLCOPY
ROWS
 E c0
 E c1
 E c2
 E c3
 E c4
 E c5
 E c6
 E c7
 N obj
COLUMNS
 x0 c0 60.0
 x0 c1 8.0
 x0 c2 8.0
 x0 c3 40.0
 x0 c4 15.0
 x0 c5 70.0
 x0 c6 25.0
 x0 c7 60.0
 x0 obj 700.0
 x1 c0 10.0
 x1 c1 20.0
 x1 c2 15.0
 x1 c3 35.0
 x1 c4 15.0
 x1 c5 15.0
 x1 c6 25.0
 x1 c7 15.0
 x1 obj 700.0
 x2 c0 15.0
 x2 c1 20.0
 x2 c2 10.0
 x2 c3 10.0
 x2 c4 15.0
 x2 c5 15.0
 x2 c6 15.0
 x2 c7 10.0
 x2 obj 700.0
 x3 c0 20.0
 x3 c2 10.0
 x3 c3 40.0
 x3 c4 35.0
 x3 c5 30.0
 x3 c6 50.0
 x3 c7 20.0
 x3 obj 700.0
 x4 c0 -60.0
 x4 obj -10000.0
 x5 c0 -10.0
 x5 obj -10000.0
 x6 c0 -15.0
 x6 obj -10000.0
 x7 c0 -20.0
 x7 obj -10000.0
 x8 c0 1.0
 x9 c0 -1.0
 x9 obj -100.0
 x10 c1 1.0
 x11 c1 -1.0
 x11 obj -100.0
 x12 c2 1.0
 x13 c2 -1.0
 x13 obj -100.0
 x14 c3 1.0
 x15 c3 -1.0
 x15 obj -100.0
 x16 c4 1.0
 x17 c4 -1.0
 x17 obj -100.0
 x18 c5 1.0
 x19 c5 -1.0
 x19 obj -100.0
 x20 c6 1.0
 x21 c6 -1.0
 x21 obj -100.0
 x22 c7 1.0
 x23 c7 -1.0
 x23 obj -100.0
RHS
 rhs c0 3.19
 rhs c1 2.59
 rhs c2 2.29
 rhs c3 2.89
 rhs c4 1.89
 rhs c5 1.99
 rhs c6 1.99
 rhs c7 2.49
RANGES
BOUNDS
ENDATA
