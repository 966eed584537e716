#!/bin/sh
# Makes the manual page of a command from its --help and --version:
#   help-to-man.sh PROGRAM "ONE-LINE DESCRIPTION" "SEE ALSO" OUTPUT
# OUTPUT ending in .gz is compressed as Debian wants manual pages.
# The help is read as kvr-cli writes it:
#   Usage: NAME SYNOPSIS          -> NAME and SYNOPSIS
#   Heading:                      -> a section (COMMANDS, FILES, ...)
#   Heading: text                 -> a section holding the text (EXIT STATUS)
#     two blanks, then a term     -> a tagged paragraph
#       four blanks, then text    -> the term's description
#   other text after an empty line -> a paragraph of the section
# The page's date is taken from SOURCE_DATE_EPOCH when set, so that the same
# sources give the same page.
set -eu
program=$1
description=$2
see_also=$3
output=$4

help=$("$program" --help)
version=$("$program" --version)
name=$(basename "$program")
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
else
  date=$(date -u +%Y-%m-%d)
fi

page() {
printf '%s\n' "$help" | awk -v name="$name" -v version="$version" -v date="$date" \
  -v description="$description" -v see_also="$see_also" '
function roff(text) {
  gsub(/\\/, "\\e", text)
  gsub(/-/, "\\-", text)
  return text
}
# A line of running text; a leading dot or quote would be read as a request.
function line(text) {
  text = roff(text)
  if (text ~ /^[.\047]/) text = "\\&" text
  print text
}
BEGIN {
  printf ".TH %s 1 \"%s\" \"%s %s\" \"User Commands\"\n", toupper(name), date, name, version
  print ".SH NAME"
  print roff(name) " \\- " roff(description)
}
/^Usage: / {
  sub(/^Usage: [^ ]+ */, "")
  print ".SH SYNOPSIS"
  print ".B " roff(name)
  if ($0 != "") print roff($0)
  next
}
/^[^ ].*:$/ {
  heading = $0
  sub(/:$/, "", heading)
  print ".SH " toupper(roff(heading))
  blank = 0
  next
}
/^[^ ][^:]*: / {
  heading = $0
  sub(/: .*$/, "", heading)
  text = $0
  sub(/^[^:]*: /, "", text)
  print ".SH " toupper(roff(heading))
  line(text)
  blank = 0
  next
}
/^    / { sub(/^ +/, ""); line($0); blank = 0; next }
/^  [^ ]/ { sub(/^ +/, ""); print ".TP"; print ".B " roff($0); blank = 0; next }
/^$/ { blank = 1; next }
{ if (blank) print ".PP"; line($0); blank = 0 }
END {
  if (see_also != "") {
    print ".SH SEE ALSO"
    print roff(see_also)
  }
}'
}

case $output in
  *.gz) page | gzip -9n > "$output.tmp" ;;
  *) page > "$output.tmp" ;;
esac
mv "$output.tmp" "$output"
