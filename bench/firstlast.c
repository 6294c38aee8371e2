/* firstlast.c: First() and Last() for the sqlite3 shell (".load firstlast"), the same
   aggregates the program registers on its connections: the value of the first and of the
   last row of a group. */
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

typedef struct
{
    sqlite3_value *value;
    int seen;
} PickState;

static void firstStep(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    PickState *state = sqlite3_aggregate_context(ctx, sizeof(PickState));
    (void)argc;
    if (!state || state->seen)
        return;
    state->seen = 1;
    state->value = sqlite3_value_dup(argv[0]);
}

static void lastStep(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    PickState *state = sqlite3_aggregate_context(ctx, sizeof(PickState));
    (void)argc;
    if (!state)
        return;
    sqlite3_value_free(state->value);
    state->seen = 1;
    state->value = sqlite3_value_dup(argv[0]);
}

static void pickFinal(sqlite3_context *ctx)
{
    PickState *state = sqlite3_aggregate_context(ctx, 0);
    if (!state || !state->value) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_value(ctx, state->value);
    sqlite3_value_free(state->value);
    state->value = 0;
}

#ifdef _WIN32
__declspec(dllexport)
#endif
int sqlite3_firstlast_init(sqlite3 *db, char **error, const sqlite3_api_routines *api)
{
    int rc;
    (void)error;
    SQLITE_EXTENSION_INIT2(api);
    rc = sqlite3_create_function_v2(db, "First", 1, SQLITE_UTF8, 0, 0, firstStep, pickFinal, 0);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "Last", 1, SQLITE_UTF8, 0, 0, lastStep, pickFinal, 0);
    return rc;
}
