"""Writes AMPL .nl models in the text format ("g" header) from a plain description.

No dependencies beyond the standard library, so that the model generators of bench/families
run with any Python 3.

    from nl_writer import Model, exp, log, sqrt, sin, cos, sumlist

    m = Model("example")
    x = m.variable(lower=-1.0, upper=2.0, start=0.5)
    y = m.variable(start=1.0)                          # free
    m.constraint(expr=x * x + exp(y), upper=4.0)       # nonlinear, one-sided
    m.constraint(linear={x: 1.0, y: -2.0}, lower=-1.0, upper=1.0)   # linear range
    m.objective(linear={y: 3.0}, expr=(x - y) ** 2, sense="min")
    layout = m.write("example.nl")

A constraint's body and the objective are `expr + sum(coef * var for var, coef in linear)`;
`expr` may be None, a number or an expression built from variables with + - * / ** (constant
exponent), unary minus (or neg), exp, log, sqrt, sin, cos and sumlist. Limits of None are infinite.

The file follows the layout the format prescribes, which readers rely on:
  * nonlinear constraints (those whose expression uses a variable) come first, in the order
    they were added, then the linear ones;
  * variables are renumbered: first those nonlinear in both the constraints and the
    objective, then those nonlinear in the constraints only, then those nonlinear in the
    objective only, then the linear ones, each group in the order of creation. Readers take
    the first nlvc variables as nonlinear in the constraints and the first nlvo as nonlinear
    in the objective, so when some variable is nonlinear in the objective only, the
    constraints-only ones are counted with those in both (their objective term is zero):
    both groups then stay a prefix of the variables;
  * every variable of a constraint's expression has a J entry (coefficient 0 when it occurs
    only nonlinearly), and likewise in the objective's G segment.

`write` returns a Layout: `layout.column[v]` is the file's index of variable v (the order of
`Model.variable` calls), `layout.row[i]` the file's index of constraint i, so that points and
answers can be mapped between the generator's numbering and the file's.
"""

import math

INF = math.inf

# Operator codes of the text format.
OP_PLUS, OP_MINUS, OP_MULT, OP_DIV, OP_POW = 0, 1, 2, 3, 5
OP_NEG, OP_SQRT, OP_SIN, OP_LOG, OP_EXP, OP_COS, OP_SUMLIST = 16, 39, 41, 43, 44, 46, 54

_UNARY = {OP_NEG: "neg", OP_SQRT: "sqrt", OP_SIN: "sin", OP_LOG: "log", OP_EXP: "exp", OP_COS: "cos"}
_BINARY = {OP_PLUS: "+", OP_MINUS: "-", OP_MULT: "*", OP_DIV: "/", OP_POW: "^"}


def _wrap(value):
    if isinstance(value, Expr):
        return value
    if isinstance(value, (int, float)):
        return Const(float(value))
    raise TypeError("not an expression: %r" % (value,))


class Expr:
    """A node of an expression tree; arithmetic on nodes and numbers builds new nodes."""

    def __add__(self, other):
        return Op(OP_PLUS, (self, _wrap(other)))

    def __radd__(self, other):
        return Op(OP_PLUS, (_wrap(other), self))

    def __sub__(self, other):
        return Op(OP_MINUS, (self, _wrap(other)))

    def __rsub__(self, other):
        return Op(OP_MINUS, (_wrap(other), self))

    def __mul__(self, other):
        return Op(OP_MULT, (self, _wrap(other)))

    def __rmul__(self, other):
        return Op(OP_MULT, (_wrap(other), self))

    def __truediv__(self, other):
        return Op(OP_DIV, (self, _wrap(other)))

    def __rtruediv__(self, other):
        return Op(OP_DIV, (_wrap(other), self))

    def __pow__(self, exponent):
        # Only constant exponents: the format's o5 with a number as its second operand.
        if not isinstance(exponent, (int, float)):
            raise TypeError("the exponent must be a number")
        return Op(OP_POW, (self, Const(float(exponent))))

    def __neg__(self):
        return Op(OP_NEG, (self,))

    def __pos__(self):
        return self


class Const(Expr):
    __slots__ = ("value",)

    def __init__(self, value):
        self.value = value


class Var(Expr):
    """A variable of a Model; `index` is its place in the order of creation."""

    __slots__ = ("index",)

    def __init__(self, index):
        self.index = index

    def __hash__(self):
        return hash(self.index)

    def __eq__(self, other):
        return isinstance(other, Var) and other.index == self.index


class Op(Expr):
    __slots__ = ("code", "args")

    def __init__(self, code, args):
        self.code = code
        self.args = tuple(args)


def neg(e):
    return Op(OP_NEG, (_wrap(e),))


def exp(e):
    return Op(OP_EXP, (_wrap(e),))


def log(e):
    return Op(OP_LOG, (_wrap(e),))


def sqrt(e):
    return Op(OP_SQRT, (_wrap(e),))


def sin(e):
    return Op(OP_SIN, (_wrap(e),))


def cos(e):
    return Op(OP_COS, (_wrap(e),))


def sumlist(terms):
    """The sum of many terms as one node (o54), instead of a chain of binary additions whose
    depth would grow with the number of terms."""
    terms = [_wrap(t) for t in terms]
    if not terms:
        return Const(0.0)
    if len(terms) == 1:
        return terms[0]
    if len(terms) == 2:
        return Op(OP_PLUS, terms)
    return Op(OP_SUMLIST, terms)


def _children(e):
    return e.args if isinstance(e, Op) else ()


def variables_of(e):
    """The indices of the variables an expression uses (a set)."""
    found, stack = set(), [e] if e is not None else []
    while stack:
        node = stack.pop()
        if isinstance(node, Var):
            found.add(node.index)
        else:
            stack.extend(_children(node))
    return found


def evaluate(e, x):
    """The value of an expression at x (indexed by creation order), without recursion.
    Used by generators to compute known objective values the same way the file states them."""
    if e is None:
        return 0.0
    values = {}
    stack = [(e, False)]
    while stack:
        node, ready = stack.pop()
        if isinstance(node, Const):
            values[id(node)] = node.value
        elif isinstance(node, Var):
            values[id(node)] = x[node.index]
        elif not ready:
            stack.append((node, True))
            stack.extend((a, False) for a in node.args)
        else:
            a = [values[id(arg)] for arg in node.args]
            values[id(node)] = _apply(node.code, a)
    return values[id(e)]


def _apply(code, a):
    if code == OP_PLUS:
        return a[0] + a[1]
    if code == OP_MINUS:
        return a[0] - a[1]
    if code == OP_MULT:
        return a[0] * a[1]
    if code == OP_DIV:
        return a[0] / a[1]
    if code == OP_POW:
        return math.pow(a[0], a[1])
    if code == OP_SUMLIST:
        return math.fsum(a)
    return {OP_NEG: lambda v: -v, OP_SQRT: math.sqrt, OP_SIN: math.sin, OP_LOG: math.log,
            OP_EXP: math.exp, OP_COS: math.cos}[code](a[0])


def _number(v):
    # repr gives the shortest text that reads back as the same double.
    v = float(v)
    if not math.isfinite(v):
        raise ValueError("numbers in a .nl file must be finite")
    return repr(v) if v != int(v) or abs(v) >= 1e16 else str(int(v))


class _Row:
    __slots__ = ("linear", "expr", "lower", "upper", "name")

    def __init__(self, linear, expr, lower, upper, name):
        self.linear, self.expr, self.lower, self.upper, self.name = linear, expr, lower, upper, name


class Layout:
    """Where the generator's variables and constraints went in the file."""

    def __init__(self, column, row, counts):
        self.column = column  # column[v]: file index of variable v
        self.row = row  # row[i]: file index of constraint i
        self.counts = counts  # the header's numbers, by name

    def to_file_order(self, values):
        out = [0.0] * len(values)
        for v, j in enumerate(self.column):
            out[j] = values[v]
        return out


class Model:
    def __init__(self, name="model"):
        self.name = name
        self.lower, self.upper, self.start, self.var_names = [], [], [], []
        self.rows = []
        self.obj_linear, self.obj_expr, self.obj_sense = {}, None, 0

    # -- description -------------------------------------------------------------------------

    def variable(self, lower=None, upper=None, start=None, name=None):
        v = Var(len(self.lower))
        self.lower.append(-INF if lower is None else float(lower))
        self.upper.append(INF if upper is None else float(upper))
        self.start.append(None if start is None else float(start))
        self.var_names.append(name or "x%d" % (v.index + 1))
        return v

    def constraint(self, linear=None, expr=None, lower=None, upper=None, name=None):
        """Adds lower <= expr + linear <= upper (None: no limit); returns its index."""
        self.rows.append(_Row(self._linear(linear), None if expr is None else _wrap(expr),
                              -INF if lower is None else float(lower), INF if upper is None else float(upper),
                              name or "c%d" % (len(self.rows) + 1)))
        return len(self.rows) - 1

    def objective(self, linear=None, expr=None, sense="min"):
        if sense not in ("min", "max"):
            raise ValueError("sense is 'min' or 'max'")
        self.obj_linear = self._linear(linear)
        self.obj_expr = None if expr is None else _wrap(expr)
        self.obj_sense = 0 if sense == "min" else 1

    @staticmethod
    def _linear(linear):
        terms = {}
        items = linear.items() if isinstance(linear, dict) else (linear or [])
        for var, coef in items:
            k = var.index if isinstance(var, Var) else int(var)
            terms[k] = terms.get(k, 0.0) + float(coef)
        return terms

    @property
    def n(self):
        return len(self.lower)

    @property
    def m(self):
        return len(self.rows)

    # -- layout ------------------------------------------------------------------------------

    def layout(self):
        n = self.n
        in_con, in_obj = [False] * n, [False] * n
        nonlinear_rows = []
        for i, row in enumerate(self.rows):
            used = variables_of(row.expr)
            for v in used:
                in_con[v] = True
            if used:
                nonlinear_rows.append(i)
        for v in variables_of(self.obj_expr):
            in_obj[v] = True
        both = [v for v in range(n) if in_con[v] and in_obj[v]]
        con_only = [v for v in range(n) if in_con[v] and not in_obj[v]]
        obj_only = [v for v in range(n) if in_obj[v] and not in_con[v]]
        linear = [v for v in range(n) if not in_con[v] and not in_obj[v]]
        order = both + con_only + obj_only + linear
        column = [0] * n
        for j, v in enumerate(order):
            column[v] = j
        nlvc = len(both) + len(con_only)
        nlvo = nlvc + len(obj_only) if obj_only else len(both)
        nlvb = nlvc if obj_only else len(both)
        nonlinear = set(nonlinear_rows)
        row_order = nonlinear_rows + [i for i in range(self.m) if i not in nonlinear]
        row = [0] * self.m
        for k, i in enumerate(row_order):
            row[i] = k
        counts = {"nlc": len(nonlinear_rows), "nlo": 1 if any(in_obj) else 0,
                  "nlvc": nlvc, "nlvo": nlvo, "nlvb": nlvb}
        return Layout(column, row, counts), order, row_order

    # -- writing -----------------------------------------------------------------------------

    def write(self, path, names=False):
        """Writes the model to `path`; with names=True also STUB.row and STUB.col (the names
        the solution report takes). Returns the Layout."""
        layout, order, row_order = self.layout()
        jac = [self._row_terms(self.rows[i], layout) for i in row_order]
        grad = self._terms(self.obj_linear, self.obj_expr, layout)
        with open(path, "w") as f:
            out = f.write
            self._write_header(out, layout, jac, grad)
            self._write_constraints(out, layout, row_order)
            self._write_objective(out, layout)
            self._write_start(out, layout, order)
            self._write_row_limits(out, row_order)
            self._write_bounds(out, order)
            self._write_column_counts(out, jac)
            self._write_jacobian(out, jac)
            self._write_gradient(out, grad)
        if names:
            stub = path[:-3] if path.endswith(".nl") else path
            with open(stub + ".col", "w") as f:
                f.writelines(self.var_names[v] + "\n" for v in order)
            with open(stub + ".row", "w") as f:
                f.writelines(self.rows[i].name + "\n" for i in row_order)
        return layout

    def _terms(self, linear, expr, layout):
        terms = {layout.column[v]: c for v, c in linear.items()}
        for v in variables_of(expr):
            terms.setdefault(layout.column[v], 0.0)
        return sorted(terms.items())

    def _row_terms(self, row, layout):
        return self._terms(row.linear, row.expr, layout)

    def _write_header(self, out, layout, jac, grad):
        c = layout.counts
        types = [_bound_type(r.lower, r.upper) for r in self.rows]
        ranges, equations = types.count(0), types.count(4)
        nobj = 1 if self._has_objective() else 0
        out("g3 1 1 0\t# problem %s\n" % self.name)
        out(" %d %d %d %d %d 0\t# vars, constraints, objectives, ranges, eqns, lcons\n"
            % (self.n, self.m, nobj, ranges, equations))
        out(" %d %d\t# nonlinear constraints, objectives\n" % (c["nlc"], c["nlo"]))
        out(" 0 0\t# network constraints: nonlinear, linear\n")
        out(" %d %d %d\t# nonlinear vars in constraints, objectives, both\n" % (c["nlvc"], c["nlvo"], c["nlvb"]))
        out(" 0 0 0 1\t# linear network variables; functions; arith, flags\n")
        out(" 0 0 0 0 0\t# discrete variables: binary, integer, nonlinear (b,c,o)\n")
        out(" %d %d\t# nonzeros in Jacobian, gradients\n" % (sum(len(t) for t in jac), len(grad) if nobj else 0))
        out(" 0 0\t# max name lengths: constraints, variables\n")
        out(" 0 0 0 0 0\t# common exprs: b,c,o,c1,o1\n")

    def _has_objective(self):
        return self.obj_expr is not None or bool(self.obj_linear)

    def _write_constraints(self, out, layout, row_order):
        for k, i in enumerate(row_order):
            out("C%d\n" % k)
            _write_expression(out, self.rows[i].expr, layout.column)

    def _write_objective(self, out, layout):
        if not self._has_objective():
            return
        out("O0 %d\n" % self.obj_sense)
        _write_expression(out, self.obj_expr, layout.column)

    def _write_start(self, out, layout, order):
        given = [(j, self.start[v]) for j, v in enumerate(order) if self.start[v] is not None]
        if given:
            out("x%d\n" % len(given))
            out("".join("%d %s\n" % (j, _number(s)) for j, s in given))

    def _write_row_limits(self, out, row_order):
        if self.m:
            out("r\n")
            out("".join(_bound_line(self.rows[i].lower, self.rows[i].upper) for i in row_order))

    def _write_bounds(self, out, order):
        if self.n:
            out("b\n")
            out("".join(_bound_line(self.lower[v], self.upper[v]) for v in order))

    def _write_column_counts(self, out, jac):
        # Cumulative Jacobian entries of every column but the last.
        if not self.m or not self.n:
            return
        count = [0] * self.n
        for terms in jac:
            for j, _ in terms:
                count[j] += 1
        out("k%d\n" % (self.n - 1))
        total, lines = 0, []
        for j in range(self.n - 1):
            total += count[j]
            lines.append("%d\n" % total)
        out("".join(lines))

    def _write_jacobian(self, out, jac):
        for k, terms in enumerate(jac):
            if terms:
                out("J%d %d\n" % (k, len(terms)))
                out("".join("%d %s\n" % (j, _number(c)) for j, c in terms))

    def _write_gradient(self, out, grad):
        if self._has_objective() and grad:
            out("G0 %d\n" % len(grad))
            out("".join("%d %s\n" % (j, _number(c)) for j, c in grad))


def _bound_type(lower, upper):
    if lower == upper:
        return 4
    if lower > -INF and upper < INF:
        return 0
    if upper < INF:
        return 1
    if lower > -INF:
        return 2
    return 3


def _bound_line(lower, upper):
    t = _bound_type(lower, upper)
    if t == 4:
        return "4 %s\n" % _number(lower)
    if t == 0:
        return "0 %s %s\n" % (_number(lower), _number(upper))
    if t == 1:
        return "1 %s\n" % _number(upper)
    if t == 2:
        return "2 %s\n" % _number(lower)
    return "3\n"


def _write_expression(out, e, column):
    """Prefix (Polish) notation, one token a line, without recursion: generated models have
    sums of tens of thousands of terms."""
    if e is None:
        out("n0\n")
        return
    lines, stack = [], [e]
    while stack:
        node = stack.pop()
        if isinstance(node, Const):
            lines.append("n%s\n" % _number(node.value))
        elif isinstance(node, Var):
            lines.append("v%d\n" % column[node.index])
        else:
            lines.append("o%d\n" % node.code)
            if node.code == OP_SUMLIST:
                lines.append("%d\n" % len(node.args))
            stack.extend(reversed(node.args))
    out("".join(lines))
