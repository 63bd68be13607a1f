* A small LP for the host program: every row type, a second free row, a range and bounds.
* Optimum: X1 = 1, X2 = -1, X3 = 6, objective -7.
NAME          SMALL
ROWS
 N  COST
 L  LIM1
 G  LIM2
 E  MYEQN
 N  SPARE
 L  RNG
COLUMNS
    X1        COST         1.0         LIM1         1.0
    X1        LIM2         1.0         RNG          1.0
    X2        COST         2.0         LIM1         1.0
    X2        MYEQN       -1.0         SPARE        1.0
    X3        COST        -1.0         MYEQN        1.0
    X3        RNG          1.0
RHS
    RHS       LIM1         4.0         LIM2         1.0
    RHS       MYEQN        7.0         RNG          9.0
RANGES
    RNG       RNG          2.0
BOUNDS
 UP BND       X1           4.0
 LO BND       X2          -1.0
 UP BND       X2           1.0
 UP BND       X3          10.0
ENDATA
