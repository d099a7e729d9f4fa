# Sourced by the scripts that print one line per step and keep the tools' output
# in a log: `failed WHAT LOG` names the step that failed, shows its first errors
# (or the end of the log) and where the whole log is, and ends the script.
failed() {
  local what="$1" log="$2" errors
  # The first errors: with two jobs the other one's output may follow them.
  errors="$(grep -m 10 -E ': (fatal )?error|CMake Error|^E: ' "$log" || true)"
  printf '\n%s failed:\n' "$what" >&2
  if [ -z "$errors" ]; then
    errors="$(tail -n 15 "$log")"
  fi
  printf '%s\n' "$errors" | sed 's/^/    /' >&2
  printf 'The whole log: %s\n' "$log" >&2
  exit 1
}
