#pragma once
#include "results/ProfileReport.h"

#include <QString>

// The inputs of a profile taken straight from the database, for kvr-cli: the
// examinee's row of IDE, their answer row scored as the results screen scores
// it, and the clinic details of the Theme row. The screens fill ProfileInputs
// from their own fields instead.
namespace ProfileSource {

struct Outcome {
    bool ok = false;
    QString error;
    ProfileInputs inputs;
};

// The profile of the examinee with that code (decimal digits, compared as
// the stored text). Fails with a message naming the code when the code is
// not a number, no examinee has it, or the examinee's gender is neither of
// the two values, so no norm table applies. An examinee without an answer
// row is scored as if every item were unanswered.
Outcome ForExaminee(const QString &code);

// The clinic's name, address, contact block and print-logo flag from the
// settings row; an empty Theme table leaves them empty and unticked.
bool ReadSettings(ProfileInputs &inputs, QString *error = nullptr);

} // namespace ProfileSource
