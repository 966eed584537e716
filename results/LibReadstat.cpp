// libreadstat, loaded when the program first writes an SPSS file instead of
// at every start. Each function the export calls is defined here and goes on
// to the library's own, looked up the first time it is called.
//
// Without the library, the writer cannot be made and every call answers with
// an error whose message names the missing library, so the export fails with
// that reason and writes no file.
#include "common/LazyLibrary.h"

#include <readstat.h>

namespace {

void *library()
{
    static void *const handle = LazyLibrary::Open("libreadstat.so.1");
    return handle;
}

const char *missingLibraryMessage()
{
    return "libreadstat.so.1 (Debian package libreadstat1) cannot be loaded";
}

constexpr readstat_error_t Missing = READSTAT_ERROR_OPEN;

} // namespace

#define KVR_READSTAT(name, fallback, ...) KVR_LAZY_CALL(library, name, fallback, __VA_ARGS__)
#define KVR_READSTAT_VOID(name, ...) KVR_LAZY_CALL_VOID(library, name, __VA_ARGS__)

extern "C" {

readstat_writer_t *readstat_writer_init(void) KVR_LAZY_CALL0(library, readstat_writer_init, nullptr)
void readstat_writer_free(readstat_writer_t *writer) KVR_READSTAT_VOID(readstat_writer_free, writer)
readstat_error_t readstat_set_data_writer(readstat_writer_t *writer, readstat_data_writer data_writer)
    KVR_READSTAT(readstat_set_data_writer, Missing, writer, data_writer)
readstat_error_t readstat_writer_set_compression(readstat_writer_t *writer, readstat_compress_t compression)
    KVR_READSTAT(readstat_writer_set_compression, Missing, writer, compression)
const char *readstat_error_message(readstat_error_t error_code)
    KVR_READSTAT(readstat_error_message, missingLibraryMessage(), error_code)

readstat_label_set_t *readstat_add_label_set(readstat_writer_t *writer, readstat_type_t type, const char *name)
    KVR_READSTAT(readstat_add_label_set, nullptr, writer, type, name)
void readstat_label_double_value(readstat_label_set_t *label_set, double value, const char *label)
    KVR_READSTAT_VOID(readstat_label_double_value, label_set, value, label)
readstat_variable_t *readstat_add_variable(readstat_writer_t *writer, const char *name, readstat_type_t type,
                                           size_t storage_width)
    KVR_READSTAT(readstat_add_variable, nullptr, writer, name, type, storage_width)
const char *readstat_variable_get_name(const readstat_variable_t *variable)
    KVR_READSTAT(readstat_variable_get_name, "", variable)
void readstat_variable_set_label(readstat_variable_t *variable, const char *label)
    KVR_READSTAT_VOID(readstat_variable_set_label, variable, label)
void readstat_variable_set_format(readstat_variable_t *variable, const char *format)
    KVR_READSTAT_VOID(readstat_variable_set_format, variable, format)
void readstat_variable_set_measure(readstat_variable_t *variable, readstat_measure_t measure)
    KVR_READSTAT_VOID(readstat_variable_set_measure, variable, measure)
void readstat_variable_set_alignment(readstat_variable_t *variable, readstat_alignment_t alignment)
    KVR_READSTAT_VOID(readstat_variable_set_alignment, variable, alignment)
void readstat_variable_set_label_set(readstat_variable_t *variable, readstat_label_set_t *label_set)
    KVR_READSTAT_VOID(readstat_variable_set_label_set, variable, label_set)

readstat_error_t readstat_begin_writing_sav(readstat_writer_t *writer, void *user_ctx, long row_count)
    KVR_READSTAT(readstat_begin_writing_sav, Missing, writer, user_ctx, row_count)
readstat_error_t readstat_begin_row(readstat_writer_t *writer) KVR_READSTAT(readstat_begin_row, Missing, writer)
readstat_error_t readstat_insert_double_value(readstat_writer_t *writer, const readstat_variable_t *variable,
                                              double value)
    KVR_READSTAT(readstat_insert_double_value, Missing, writer, variable, value)
readstat_error_t readstat_insert_string_value(readstat_writer_t *writer, const readstat_variable_t *variable,
                                              const char *value)
    KVR_READSTAT(readstat_insert_string_value, Missing, writer, variable, value)
readstat_error_t readstat_insert_missing_value(readstat_writer_t *writer, const readstat_variable_t *variable)
    KVR_READSTAT(readstat_insert_missing_value, Missing, writer, variable)
readstat_error_t readstat_end_row(readstat_writer_t *writer) KVR_READSTAT(readstat_end_row, Missing, writer)
readstat_error_t readstat_end_writing(readstat_writer_t *writer) KVR_READSTAT(readstat_end_writing, Missing, writer)

} // extern "C"
