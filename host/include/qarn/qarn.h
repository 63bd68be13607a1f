/* QARN host components: the model object (qmo), the environment object (qev) and the option
 * object (opt), as three shared libraries libqarnmo.so, libqarnev.so and libqarnopt.so.
 *
 * This is a small stand-in for the modelling host that drives the KAVRO solver library. It
 * provides every function the library binds by name, plus a builder for models and a few test
 * hooks. Unless stated otherwise, a function returning int returns 0 on success.
 *
 * Indices. The model object works in a "view": after qmoIndexBaseSet(h, base) every row and
 * column index passed in or returned is counted from base (0 or 1; 0 by default), and after
 * qmoSetRvVarPermutation / qmoSetRvEquPermutation / qmoSetNRowPerm the k-th column or row of
 * the view is the host's column or row order[k]. Builder calls, name queries and result queries
 * (qmoResult*) always use the host's own 0-based indices, whatever the view.
 *
 * Infinity. Bounds of magnitude 1.0e+20 or more (or IEEE infinities) are infinite; they are
 * reported as the values given with qmoPinfSet / qmoMinfSet (default +-1.0e+20).
 */
#ifndef QARN_QARN_H
#define QARN_QARN_H

#include <signal.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct qmoRec* qmoHandle_t;
typedef struct qevRec* qevHandle_t;
typedef struct optRec* optHandle_t;

/* ---------------------------------------------------------------- model object (libqarnmo) */

/* Equation types and basis statuses. */
enum { qmoEquE = 0, qmoEquG = 1, qmoEquL = 2, qmoEquN = 3, qmoEquX = 4, qmoEquC = 5, qmoEquB = 6 };
enum { qmoBstatLower = 0, qmoBstatUpper = 1, qmoBstatBasic = 2, qmoBstatSuper = 3 };
/* Head-and-tail fields. The certificate of the returned point (7 to 11): its largest primal
   infeasibility (rows and bounds) and largest dual infeasibility (the reduced gradient's
   wrong-way parts), absolute and relative, and whether it passed (1), failed (0) or could not
   be made (-1). */
enum {
  qmoHiterused = 3, qmoHresused = 4, qmoHobjval = 5, qmoHdomused = 6,
  qmoHprimalinf = 7, qmoHprimalinfrel = 8, qmoHdualinf = 9, qmoHdualinfrel = 10, qmoHcertified = 11
};
/* Model types: 1 linear, 2 nonlinear, 8 no objective (a system of constraints). */
enum { qmoProcLP = 1, qmoProcNLP = 2, qmoProcCNS = 8 };

int qmoCreate(qmoHandle_t* h, qevHandle_t env);
void qmoFree(qmoHandle_t* h);

/* Builder. qmoAddVar / qmoAddEqu return the new 0-based index, or -1 for bad data (NaN, lower
 * above upper, unknown type). qmoAddEntry adds a_ij (row -1: the objective) and refuses a
 * duplicate or an index out of range. A row with a nonlinear entry has order 2, else 1. The
 * model type is 8 without an objective, else 2 when any entry is nonlinear, else 1, unless
 * qmoSetModelType fixed it. */
int qmoAddVar(qmoHandle_t h, const char* name, double lower, double level, double upper, int basisStatus);
int qmoAddEqu(qmoHandle_t h, const char* name, int type, double rhs, double level, double marginal,
              int basisStatus);
int qmoAddEntry(qmoHandle_t h, int row, int column, double value, int nonlinear);
int qmoSetObjective(qmoHandle_t h, int hasObjective, int sense, double constant);
int qmoSetModelType(qmoHandle_t h, int type);
int qmoSetHaveBasis(qmoHandle_t h, int haveBasis);
int qmoSetOptFileName(qmoHandle_t h, const char* path); /* "" for none */

/* View set-up. */
int qmoObjStyleSet(qmoHandle_t h, int style);   /* only 2: the objective as a separate sparse row */
int qmoObjReformSet(qmoHandle_t h, int reform);
int qmoIndexBaseSet(qmoHandle_t h, int base);
int qmoPinfSet(qmoHandle_t h, double value);
int qmoMinfSet(qmoHandle_t h, double value);
int qmoSetRvVarPermutation(qmoHandle_t h, const int* order, int count);
int qmoSetRvEquPermutation(qmoHandle_t h, const int* order, int count);
int qmoSetNRowPerm(qmoHandle_t h); /* keeps the current order, leaves out the =N= rows */

/* Queries (of the current view). qmoNLN counts the nonlinear entries of the rows and the
 * objective, qmoNLNZ those of the rows only, qmoNLM the rows with a nonlinear entry. */
int qmoN(qmoHandle_t h);
int qmoM(qmoHandle_t h);
int qmoNZ(qmoHandle_t h);
int64_t qmoNZ64(qmoHandle_t h);
int qmoNLNZ(qmoHandle_t h);
int64_t qmoNLNZ64(qmoHandle_t h);
int qmoObjNLNZ(qmoHandle_t h);
int qmoNLM(qmoHandle_t h);
int qmoNLN(qmoHandle_t h);
int qmoModelType(qmoHandle_t h);
int qmoSense(qmoHandle_t h); /* 0 minimize, 1 maximize */
double qmoObjConst(qmoHandle_t h);
int qmoHaveBasis(qmoHandle_t h);
int qmoOptFile(qmoHandle_t h); /* 1 when an option file is named */
int qmoNameOptFile(qmoHandle_t h, char* buffer, int length);
qevHandle_t qmoEnvironment(qmoHandle_t h);

/* Data. Sparse rows fill the caller's arrays, which must hold qmoN entries. */
int qmoGetEquTypeOne(qmoHandle_t h, int row);
int qmoGetEquTypeTxt(qmoHandle_t h, int row, char* buffer, int length); /* "=E=", ... */
int qmoGetEquOrderOne(qmoHandle_t h, int row);
double qmoGetRhsOne(qmoHandle_t h, int row);
int qmoGetRowSparse(qmoHandle_t h, int row, int* columns, double* values, int* nonlinear, int* nz, int* nlnz);
int qmoGetObjSparse(qmoHandle_t h, int* columns, double* values, int* nonlinear, int* nz, int* nlnz);
int qmoGetVarL(qmoHandle_t h, double* x);
int qmoGetVarLower(qmoHandle_t h, double* lower);
int qmoGetVarUpper(qmoHandle_t h, double* upper);
int qmoGetEquL(qmoHandle_t h, double* level);
int qmoGetEquM(qmoHandle_t h, double* marginal);
int qmoGetVarStatOne(qmoHandle_t h, int column);
int qmoGetEquStatOne(qmoHandle_t h, int row);

/* Evaluation of nonlinear functions, in view indices: x holds qmoN values, gradient has room for
 * qmoN values, row counts from the index base. The nonlinear part of a row (or the objective) is
 * every term in the columns of its nonlinear entries (their linear terms included): its value
 * goes to *f and its derivatives with respect to those columns into gradient at their view
 * positions (other positions are left as they are). *errors is the number of evaluation errors
 * met (log of a non-positive number, ...): nonzero means the point could not be evaluated. The
 * functions return 0, or 1 when the model holds no evaluator (an MPS model) or the call is not
 * valid. */
int qmoEvalNewPoint(qmoHandle_t h, const double* x);
int qmoEvalGradNL(qmoHandle_t h, int row, const double* x, double* f, double* gradient, int* errors);
int qmoEvalGradNLObj(qmoHandle_t h, const double* x, double* f, double* gradient, int* errors);

/* The evaluator a host program installs for a model with nonlinear entries (NULL removes it).
 * The model object calls it in the host's own indices: x holds qmoHostN values, gradient has
 * room for qmoHostN values and the callback writes the derivatives at the host columns of the
 * row's (objective's) nonlinear entries. Each callback returns 0, or nonzero when it failed, and
 * sets *errors as above. The evaluator and user must stay valid while it is installed.
 * newPoint comes before the rows of a new point: row is called with the point of the last
 * newPoint (the model object calls newPoint itself when a row is asked for at another point), so
 * that a row costs only its own terms; objective may come at any point. */
typedef struct qmoEvaluator {
  int (*newPoint)(void* user, const double* x);
  int (*row)(void* user, int row, const double* x, double* f, double* gradient, int* errors);
  int (*objective)(void* user, const double* x, double* f, double* gradient, int* errors);
  /* Second derivatives, optional (NULL: the model has none). They describe the Hessian of the
   * Lagrangian  objWeight * f(x) + sum_i rowWeights[i] * g_i(x), f the objective's nonlinear
   * part and g_i row i's, over the host's columns; rowWeights has qmoHostM entries.
   * hessianStructure points *rows and *columns at the evaluator's own arrays of the *count
   * entries of its lower triangle (rows[k] >= columns[k], each pair once; valid while the
   * evaluator is installed), or returns nonzero when it keeps no triangle (products only).
   * hessianValues writes the triangle's values at x in that order. hessianProduct sets hv = H v
   * (v and hv: qmoHostN values). Both set *errors as above when H cannot be had at x. */
  int (*hessianStructure)(void* user, int64_t* count, const int** rows, const int** columns);
  int (*hessianValues)(void* user, const double* x, double objWeight, const double* rowWeights, double* values,
                       int* errors);
  int (*hessianProduct)(void* user, const double* x, double objWeight, const double* rowWeights, const double* v,
                        double* hv, int* errors);
} qmoEvaluator;
int qmoSetEvaluator(qmoHandle_t h, const qmoEvaluator* evaluator, void* user);

/* Second derivatives of the Lagrangian (the evaluator's, above) in view indices: x holds qmoN
 * values, rowWeights qmoM (rows the view leaves out weigh nothing), v and hv qmoN. qmoHaveHessLag
 * is 1 when the evaluator offers second derivatives (triangle or products), else 0.
 * qmoHessLagNZ sets *nz to the entries of the lower triangle, which qmoHessLagStruct writes as
 * (rows[k], columns[k]) pairs with rows[k] >= columns[k] in the view's order and index base
 * (length: the room of both arrays); qmoHessLagValues writes their values at x in the same
 * order. qmoHessLagVec sets hv = H v. Each returns 0, or 1 when the model has no such second
 * derivatives (no evaluator, or one without them: the triangle is missing when the evaluator
 * serves products only) or the call is not valid; *errors as for qmoEvalGradNL. */
int qmoHaveHessLag(qmoHandle_t h);
int qmoHessLagNZ(qmoHandle_t h, int64_t* nz);
int qmoHessLagStruct(qmoHandle_t h, int* rows, int* columns, int64_t length);
int qmoHessLagValues(qmoHandle_t h, const double* x, double objWeight, const double* rowWeights, double* values,
                     int* errors);
int qmoHessLagVec(qmoHandle_t h, const double* x, double objWeight, const double* rowWeights, const double* v,
                  double* hv, int* errors);

/* Results, in view indices. */
int qmoSetSolutionVarRec(qmoHandle_t h, int column, double level, double marginal, int basisStatus, int condition);
int qmoSetSolutionEquRec(qmoHandle_t h, int row, double level, double marginal, int basisStatus, int condition);
int qmoModelStatSet(qmoHandle_t h, int status);
int qmoSolveStatSet(qmoHandle_t h, int status);
int qmoModelStat(qmoHandle_t h);
int qmoSolveStat(qmoHandle_t h);
int qmoSetHeadnTail(qmoHandle_t h, int field, double value);
int qmoCompleteSolution(qmoHandle_t h);

/* Reading the results back, in host indices: 1 when no record was set. */
int qmoResultVar(qmoHandle_t h, int column, double* level, double* marginal, int* basisStatus, int* condition);
int qmoResultEqu(qmoHandle_t h, int row, double* level, double* marginal, int* basisStatus, int* condition);
double qmoHeadnTail(qmoHandle_t h, int field); /* 0 when never set */
int qmoSolutionComplete(qmoHandle_t h);
int qmoHostN(qmoHandle_t h);
int qmoHostM(qmoHandle_t h);
int qmoVarName(qmoHandle_t h, int column, char* buffer, int length);
int qmoEquName(qmoHandle_t h, int row, char* buffer, int length);

/* Test hooks: report other nonzero counts from qmoNZ64 / qmoNLNZ64 (negative: the true
 * counts), and make the named qmo function fail (return 1) from now on ("" clears). */
int qmoTestReportNZ64(qmoHandle_t h, int64_t nz, int64_t nlnz);
int qmoTestFailCall(qmoHandle_t h, const char* functionName);

/* ---------------------------------------------------------- environment object (libqarnev) */

/* Options: integer "DomLim" (default 0) and "IterLim" (2000000000); real "ResLim" (1000 s),
 * "WorkSpace" (0 Mb) and "WorkFactor" (1); string "NameSysDir" ("") and "ScrDir" (".", the
 * directory of scratch files). Names are case-insensitive. */
int qevCreate(qevHandle_t* h);
void qevFree(qevHandle_t* h);
int qevGetIntOpt(qevHandle_t h, const char* name);
double qevGetDblOpt(qevHandle_t h, const char* name);
int qevGetStrOpt(qevHandle_t h, const char* name, char* buffer, int length);
int qevSetIntOpt(qevHandle_t h, const char* name, int value);
int qevSetDblOpt(qevHandle_t h, const char* name, double value);
int qevSetStrOpt(qevHandle_t h, const char* name, const char* value);
/* Sets an option from text, as "NAME=VALUE" on a command line: 0 done, 1 unknown name, 2 a
 * value that is not of the option's type. */
int qevSetOptText(qevHandle_t h, const char* name, const char* value);

/* Log and status file. qevLogStat writes a line to both; qevLogStatNoC writes to the log, and
 * to the status file only between qevStatCon and qevStatCoff. Lines are kept in memory and
 * echoed to the stream given with qevLogStream (none by default). */
void qevLogStat(qevHandle_t h, const char* line);
void qevLogStatNoC(qevHandle_t h, const char* line);
void qevStatCon(qevHandle_t h);
void qevStatCoff(qevHandle_t h);
void qevLogStream(qevHandle_t h, FILE* stream);
int qevLogLineCount(qevHandle_t h);
const char* qevLogLine(qevHandle_t h, int index); /* 0-based; "" out of range */
int qevStatusLineCount(qevHandle_t h);
const char* qevStatusLine(qevHandle_t h, int index);

/* Scratch file names: ScrDir + "/" + name. */
int qevGetScratchName(qevHandle_t h, const char* name, char* buffer, int length);

/* Clock: seconds since qevCreate or the last qevTimeReset. A test may fix the reading with
 * qevTestClockSet (a negative value returns to the real clock). */
double qevTimeDiffStart(qevHandle_t h);
void qevTimeReset(qevHandle_t h);
void qevTestClockSet(qevHandle_t h, double seconds);

/* Interrupt: nonzero after qevTerminateSet(h, 1) or once the watched flag (set by the host
 * program's signal handler) is nonzero. */
int qevTerminateGet(qevHandle_t h);
void qevTerminateSet(qevHandle_t h, int value);
void qevTerminateWatch(qevHandle_t h, const volatile sig_atomic_t* flag);

/* The stand-in shares no options between the environment and an option object: a no-op. */
int qevSynchronizeOpt(qevHandle_t h, optHandle_t options);

/* --------------------------------------------------------------- option object (libqarnopt) */

/* Definition files ("optkavro.def"), one entry a line; '#' or '*' in column 1 starts a comment
 * line, blank lines are skipped:
 *     group <number> <title ...>
 *     <name> <type> <default> [<lower> <upper>]  [! description]
 * <type> is integer, real, string or boolean (data types 1, 2, 3, 4); integer and real options
 * may have bounds ("-inf" and "inf" allowed), a string default "" is written as "". An option
 * belongs to the last group line above it (group 0, hidden, before any). Names are
 * case-insensitive and unique.
 *
 * Option files: one option a line, "<name> <value>" (or "<name> = <value>"); '*' in column 1
 * starts a comment line; with optEOLOnlySet(h, 1) a '!' starts a comment anywhere in the line.
 * A string option may be given without a value (the empty string); a boolean takes 0/1,
 * yes/no. Reading marks each option set as defined and recently defined.
 *
 * Messages (optGetMessage types): 1 echo of an option-file line, 2 note, 3 error in a line,
 * 4 a file that cannot be read or a malformed definition, 8 detail (the value an option got),
 * 9 summary of a read with errors. */
enum { optDataInteger = 1, optDataReal = 2, optDataString = 3, optDataBoolean = 4 };
enum { optMsgEcho = 1, optMsgNote = 2, optMsgError = 3, optMsgFileError = 4, optMsgDetail = 8,
       optMsgSummary = 9 };

int optCreate(optHandle_t* h, char* message, int length);
void optFree(optHandle_t* h);
int optReadDefinition(optHandle_t h, const char* path);
int optReadParameterFile(optHandle_t h, const char* path); /* number of errors */
void optEchoSet(optHandle_t h, int echo);
void optEOLOnlySet(optHandle_t h, int eolOnly);
void optResetAllRecent(optHandle_t h);
int optMessageCount(optHandle_t h);
int optGetMessage(optHandle_t h, int index, char* buffer, int length, int* type); /* 1-based */
void optClearMessages(optHandle_t h);
int optCount(optHandle_t h);
/* Option numbers are 1..optCount, in definition order. */
int optGetInfoNr(optHandle_t h, int number, int* defined, int* definedRecent, int* dataType);
int optGetOptGroupNr(optHandle_t h, int number, int* group);
int optGetValuesNr(optHandle_t h, int number, char* name, int nameLength, int* intValue, double* realValue,
                   char* text, int textLength);
int optGetIntStr(optHandle_t h, const char* name, int* value); /* 1 for an unknown or non-integer name */
int optGroupCount(optHandle_t h);
int optGroupTitle(optHandle_t h, int group, char* buffer, int length);

#ifdef __cplusplus
}
#endif

#endif /* QARN_QARN_H */
