NAME          INFEAS
ROWS
 N  COST
 G  NEED
COLUMNS
    X1        COST         1.0   NEED         1.0
    X2        COST         1.0   NEED         1.0
RHS
    RHS       NEED         5.0
BOUNDS
 UP BND       X1           2.0
 UP BND       X2           2.0
ENDATA
