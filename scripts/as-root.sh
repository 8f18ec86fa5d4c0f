# Runs a command as root: directly when already root, else through sudo or su. Without
# either, prints the install line for the user to run and fails. Sourced by the scripts here.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  elif command -v su >/dev/null 2>&1; then
    echo "Installing packages needs root: enter the root password." >&2
    su -c "$(printf '%q ' "$@")" root
  else
    echo "Run this as root first, then try again: $(printf '%q ' "$@")" >&2
    return 1
  fi
}
