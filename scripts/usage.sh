# Sourced by the scripts, with the script's usage in USAGE and the most arguments it takes
# in MOST_ARGUMENTS (none when unset): --help or -h, wherever it stands, prints the usage
# and ends the script; an argument that looks like an option, or one past the most it
# takes, ends it before it does anything, with the usage on the standard error and
# status 2 (a folder whose name starts with "-" is given as ./-NAME).
for arg in "$@"; do
  case "$arg" in -h | --help) printf '%s\n' "$USAGE"; exit 0 ;; esac
done
taken=0
for arg in "$@"; do
  taken=$((taken + 1))
  case "$arg" in -*) ;; *) [ "$taken" -gt "${MOST_ARGUMENTS:-0}" ] || continue ;; esac
  printf '%s: unknown argument %s\n%s\n' "${0##*/}" "$arg" "$USAGE" >&2
  exit 2
done
