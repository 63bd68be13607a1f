/* The KAVRO solver library for the QARN host (librevuride64.so).
 *
 * The host calls, in this order:
 *   kavCreate(&ctx, msg, len)     a new context; 0 on success
 *   kavReadyAPI(ctx, model)       set-up for the model object: host libraries, options, work space
 *   kavCallSolver(ctx)            transfer, solve, results and statuses back into the model object
 *   kavFree(&ctx)                 releases everything; ctx becomes NULL
 * kavReadyAPI and kavCallSolver return 0 on success and 1 when an error was reported: the
 * message is then in the host's log and the model and solve statuses are set. A context whose
 * kavReadyAPI returned 1 must not be solved. One solve runs at a time per process.
 *
 * Host libraries. The library binds every host function by name from three shared libraries:
 * the model object from $KAVRO_QMO_LIBRARY, the environment object from $KAVRO_QEV_LIBRARY and
 * the option object from $KAVRO_OPT_LIBRARY; a variable that is unset or empty means
 * libqarnmo.so, libqarnev.so or libqarnopt.so in the directory that holds librevuride64.so.
 * A library or function that cannot be bound is reported as "INIT ERROR".
 *
 * Options. "optkavro.def" is read from the environment's "NameSysDir"; the model's option file
 * is read through it and every option set there in a group other than 0 reaches the optimizer
 * as a SPECS line. "summary_frequency" (group 0) spaces the minor-iteration lines of the log:
 * one line every k iterations; 0 or less logs no minor-iteration lines at all (the interrupt and
 * the resource limit are still checked at every iteration).
 */
#ifndef KAVRO_LINK_H
#define KAVRO_LINK_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct kavLinkContext* kavHandle_t;

int kavCreate(kavHandle_t* context, char* message, int messageLength);
int kavReadyAPI(kavHandle_t context, void* model);
int kavCallSolver(kavHandle_t context);
int kavFree(kavHandle_t* context);

#ifdef __cplusplus
}
#endif

#endif /* KAVRO_LINK_H */
