* A three-product blending problem (the problem kavro solves when given no file).
* Optimal objective 28 at X1 = 2, X2 = 8, X3 = 0.
NAME          BLEND
ROWS
 N  COST
 G  DEMAND
 L  BALANCE
 E  MIX
COLUMNS
    X1        COST         2.0   DEMAND       1.0
    X1        BALANCE      1.0
    X2        COST         3.0   DEMAND       1.0
    X2        BALANCE     -1.0   MIX          1.0
    X3        COST         5.0   DEMAND       1.0
    X3        MIX          2.0
RHS
    RHS       DEMAND      10.0   BALANCE      2.0
    RHS       MIX          8.0
BOUNDS
 UP BOUNDS    X1           6.0
 UP BOUNDS    X3          10.0
ENDATA
