#!/usr/bin/python3
"""A pendulum steered over T time steps: nonlinear dynamics as equality rows, quadratic cost.

    optimal_control.py T [--out DIR]

Variables theta_t, omega_t (t = 0..T) and u_t (t < T), 3T + 2 in all; with h = 10 / T,

    theta_{t+1} - theta_t - h omega_t                       = 0    (linear rows)
    omega_{t+1} - omega_t + h a sin(theta_t) - h b u_t      = 0    (nonlinear rows)
    theta_0, omega_0 fixed,   -U <= u_t <= U,

    minimize  sum_t (q_theta / 2 theta_t^2 + q_omega / 2 omega_t^2) + sum_t rho / 2 u_t^2
              + sum_t s / 2 (u_{t+1} - u_t)^2  +  c'x.

The generator simulates the dynamics from the initial state with a control that saturates at
+-U for part of the horizon: that trajectory is x*, feasible by construction. It chooses the
multipliers of the rows (smooth costates lambda_t, mu_t) and of the saturated controls (of the
sign their bound needs, strict complementarity), and sets the linear cost c = J(x*)'y* + z* -
grad g(x*) (g the quadratic part) so that x* satisfies the optimality conditions.

x* is the global minimum, not only a KKT point: the Lagrangian L(x) = f(x) - y*'r(x) (r the
rows) has the Hessian of the quadratic part plus, in theta_t only, mu_t h a sin(theta_t), which
is at least q_theta - |mu_t| h a > 0 for every theta (|mu_t| <= 1, h a <= 0.1 for T >= 100,
q_theta = 1). So L is convex everywhere, grad L(x*) = z*, and for any feasible x
f(x) = L(x) >= L(x*) + z*'(x - x*) >= L(x*) = f(x*), since z*'(x - x*) >= 0 inside the bounds.

About T less the saturated steps of the controls are superbasic at the solution (4,000 or so
for T = 5,000: 15,002 variables).
"""

import math
import sys

from family_common import Instance, main, fsum
import nl_writer as nw

A, B, U = 1.0, 1.0, 1.0
Q_THETA, Q_OMEGA, RHO, SMOOTH = 1.0, 0.5, 0.1, 0.05


def build(steps):
    T = int(steps)
    if T < 100:
        raise ValueError("T >= 100 keeps h a <= 0.1")
    h = 10.0 / T
    # x*: a control that saturates on the crests of 1.25 sin, and the trajectory it gives.
    ctrl = [max(-U, min(U, 1.25 * math.sin(2.0 * math.pi * (t * h) / 5.0))) for t in range(T)]
    theta, omega = [0.5], [0.0]
    for t in range(T):
        theta.append(theta[t] + h * omega[t])
        omega.append(omega[t] - h * A * math.sin(theta[t]) + h * B * ctrl[t])
    lam = [0.3 * math.cos(0.7 * t * h) for t in range(T)]   # multipliers of the theta rows
    mu = [0.5 * math.sin(0.4 * t * h + 0.3) for t in range(T)]  # of the omega rows
    zu = [0.0] * T
    for t in range(T):
        if abs(ctrl[t]) >= U:
            zu[t] = -math.copysign(0.2 + 0.3 * abs(math.sin(3.0 * t * h)), ctrl[t])

    # grad g at x*, g = the quadratic cost.
    g_theta = [Q_THETA * v for v in theta]
    g_omega = [Q_OMEGA * v for v in omega]
    g_u = [RHO * v for v in ctrl]
    for t in range(T - 1):
        dlt = SMOOTH * (ctrl[t + 1] - ctrl[t])
        g_u[t + 1] += dlt
        g_u[t] -= dlt
    # J'y at x*: theta row t: +1 theta_{t+1}, -1 theta_t, -h omega_t; omega row t: +1 omega_{t+1},
    # -1 omega_t, h a cos(theta_t) theta_t, -h b u_t.
    jy_theta = [0.0] * (T + 1)
    jy_omega = [0.0] * (T + 1)
    jy_u = [0.0] * T
    for t in range(T):
        jy_theta[t + 1] += lam[t]
        jy_theta[t] -= lam[t]
        jy_omega[t] -= h * lam[t]
        jy_omega[t + 1] += mu[t]
        jy_omega[t] -= mu[t]
        jy_theta[t] += h * A * math.cos(theta[t]) * mu[t]
        jy_u[t] -= h * B * mu[t]
    # Fixed initial state: its multipliers are whatever remains, so its cost stays 0.
    c_theta = [0.0] + [jy_theta[t] - g_theta[t] for t in range(1, T + 1)]
    c_omega = [0.0] + [jy_omega[t] - g_omega[t] for t in range(1, T + 1)]
    c_u = [jy_u[t] + zu[t] - g_u[t] for t in range(T)]

    name = "control%d" % T
    m = nw.Model(name)
    th = [m.variable(lower=theta[0] if t == 0 else None, upper=theta[0] if t == 0 else None,
                     start=theta[0], name="theta%d" % t) for t in range(T + 1)]
    om = [m.variable(lower=omega[0] if t == 0 else None, upper=omega[0] if t == 0 else None,
                     start=omega[0], name="omega%d" % t) for t in range(T + 1)]
    u = [m.variable(lower=-U, upper=U, start=0.0, name="u%d" % t) for t in range(T)]
    y = []
    for t in range(T):
        m.constraint(linear={th[t + 1]: 1.0, th[t]: -1.0, om[t]: -h}, lower=0.0, upper=0.0, name="theta_step%d" % t)
        y.append(lam[t])
    for t in range(T):
        m.constraint(linear={om[t + 1]: 1.0, om[t]: -1.0, u[t]: -h * B}, expr=(h * A) * nw.sin(th[t]),
                     lower=0.0, upper=0.0, name="omega_step%d" % t)
        y.append(mu[t])
    terms = [(0.5 * Q_THETA) * v ** 2 for v in th] + [(0.5 * Q_OMEGA) * v ** 2 for v in om]
    terms += [(0.5 * RHO) * v ** 2 for v in u]
    terms += [(0.5 * SMOOTH) * (u[t + 1] - u[t]) ** 2 for t in range(T - 1)]
    linear = {}
    for t in range(T + 1):
        linear[th[t]] = c_theta[t]
        linear[om[t]] = c_omega[t]
    for t in range(T):
        linear[u[t]] = c_u[t]
    m.objective(linear=linear, expr=nw.sumlist(terms))

    value = [0.5 * Q_THETA * v * v + c * v for v, c in zip(theta, c_theta)]
    value += [0.5 * Q_OMEGA * v * v + c * v for v, c in zip(omega, c_omega)]
    value += [0.5 * RHO * v * v + c * v for v, c in zip(ctrl, c_u)]
    value += [0.5 * SMOOTH * (ctrl[t + 1] - ctrl[t]) ** 2 for t in range(T - 1)]
    x = theta + omega + ctrl
    saturated = sum(1 for v in ctrl if abs(v) >= U)
    note = "global minimum; %d of %d controls at a bound" % (saturated, T)
    return Instance(name, "optimal_control", m, x, y, fsum(value), True, note)


if __name__ == "__main__":
    main(build, sys.argv[1:], __doc__.split("\n\n")[1])
