NAME          AFIROSC
ROWS
 E  R09
 E  R10
 L  X05
 L  X21
 E  R12
 E  R13
 L  X17
 L  X18
 L  X19
 L  X20
 E  R19
 E  R20
 L  X27
 L  X44
 E  R22
 E  R23
 L  X40
 L  X41
 L  X42
 L  X43
 L  X45
 L  X46
 L  X47
 L  X48
 L  X49
 L  X50
 L  X51
 N  COST
COLUMNS
    X01       X48           3.01e-10
    X01       R09             -1e+09
    X01       R10          -1.06e-09
    X01       X05              1e+09
    X02       X21             -1e-09
    X02       R09              1e+09
    X02       COST              -0.4
    X03       X46             -1e-09
    X03       R09              1e+09
    X04       X50              1e-09
    X04       R10              1e-09
    X06       X49           3.01e+08
    X06       R12             -1e+09
    X06       R13          -1.06e-09
    X06       X17              1e+09
    X07       X49           3.13e+08
    X07       R12             -1e+09
    X07       R13          -1.06e-09
    X07       X18              1e-09
    X08       X49           3.13e+08
    X08       R12             -1e+09
    X08       R13           -9.6e-10
    X08       X19              1e+09
    X09       X49           3.26e+08
    X09       R12             -1e+09
    X09       R13           -8.6e-10
    X09       X20              1e-09
    X10       X45          2.364e+09
    X10       X17             -1e+09
    X11       X45          2.386e+09
    X11       X18             -1e-09
    X12       X45          2.408e+09
    X12       X19             -1e+09
    X13       X45          2.429e+09
    X13       X20             -1e-09
    X14       X21            1.4e-09
    X14       R12              1e+09
    X14       COST             -0.32
    X15       X47             -1e+09
    X15       R12              1e+09
    X16       X51              1e+09
    X16       R13              1e-09
    X22       X46           1.09e-10
    X22       R19             -1e+09
    X22       R20           -4.3e-10
    X22       X27              1e+09
    X23       X44             -1e-09
    X23       R19              1e+09
    X23       COST              -0.6
    X24       X48             -1e-09
    X24       R19              1e+09
    X25       X45             -1e+09
    X25       R19              1e+09
    X26       X50              1e-09
    X26       R20              1e-09
    X28       X47           1.09e+08
    X28       R22           -4.3e+08
    X28       R23              1e-09
    X28       X40              1e+09
    X29       X47           1.08e+08
    X29       R22           -4.3e+08
    X29       R23              1e-09
    X29       X41              1e-09
    X30       X47           1.08e+08
    X30       R22           -3.9e+08
    X30       R23              1e-09
    X30       X42              1e+09
    X31       X47           1.07e+08
    X31       R22           -3.7e+08
    X31       R23              1e-09
    X31       X43              1e-09
    X32       X45          2.191e+09
    X32       X40             -1e+09
    X33       X45          2.219e+09
    X33       X41             -1e-09
    X34       X45          2.249e+09
    X34       X42             -1e+09
    X35       X45          2.279e+09
    X35       X43             -1e-09
    X36       X44            1.4e-09
    X36       R23             -1e-09
    X36       COST             -0.48
    X37       X49             -1e+09
    X37       R23              1e-09
    X38       X51              1e+09
    X38       R22              1e+09
    X39       R23              1e-09
    X39       COST                10
RHS
    RHS       X50            3.1e-07
    RHS       X51              3e+11
    RHS       X05              8e+10
    RHS       X17              8e+10
    RHS       X27              5e+11
    RHS       R23            4.4e-08
    RHS       X40              5e+11
ENDATA
