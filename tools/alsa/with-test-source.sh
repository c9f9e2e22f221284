#!/usr/bin/env bash
# Runs a command with ALSA's "default" capture device routed to the project's
# test source, through a private ALSA configuration: nothing of the machine's
# own sound setup is used, so it works without a sound card or sound server.
#
#   tools/alsa/with-test-source.sh [options] <command...>
#     --tone HZ          sine frequency (default 1000)
#     --amplitude PCT    percent of full scale (default 50)
#     --file PATH        serve this raw file's bytes, looping, instead of a tone
#     --ramp             serve the frame counter instead of a tone
#     --plugin PATH      the plugin library (default: searched in the build folders)
#
# QUORVANE_ALSA_PLUGIN may also name the plugin library.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tone=1000 amplitude=50 file="" ramp=false plugin=${QUORVANE_ALSA_PLUGIN:-}
while [[ $# -gt 0 ]]; do
  case "$1" in
    --tone) tone=$2; shift 2 ;;
    --amplitude) amplitude=$2; shift 2 ;;
    --file) file=$(realpath "$2"); shift 2 ;;
    --ramp) ramp=true; shift ;;
    --plugin) plugin=$(realpath "$2"); shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
if [[ $# -eq 0 ]]; then
  sed -n '2,14p' "$0" >&2
  exit 2
fi
if [[ -z "$plugin" ]]; then
  plugin=$(ls -t "$root"/build*/bin/libasound_module_pcm_qvsource.so 2>/dev/null | head -n 1 || true)
fi
if [[ -z "$plugin" || ! -f "$plugin" ]]; then
  echo "with-test-source.sh: build the target asound_module_pcm_qvsource first (or pass --plugin)" >&2
  exit 2
fi
[[ "$tone" =~ ^[0-9]+$ && "$amplitude" =~ ^[0-9]+$ ]] || { echo "with-test-source.sh: --tone and --amplitude take whole numbers" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
{
  printf 'pcm_type.qvsource { lib "%s" }\n' "$plugin"
  printf 'pcm.!default {\n  type qvsource\n  tone %s\n  amplitude %s\n  ramp %s\n' "$tone" "$amplitude" "$ramp"
  [[ -n "$file" ]] && printf '  file "%s"\n' "$file"
  printf '}\n'
} > "$dir/asound.conf"
# The whole configuration is ours: alsa-lib reads no system or user file.
export ALSA_CONFIG_PATH="$dir/asound.conf"
"$@"
