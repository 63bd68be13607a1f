NAME          BROKEN
ROWS
 N  COST
 Q  BAD
COLUMNS
    X1        COST         1.0   NOROW        1.0
ENDATA
