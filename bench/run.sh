#!/usr/bin/env bash
# The installer's cost against the limits. Builds a Release build in
# build/bench, lays out a large sample under build/bench/sample, measures,
# and prints a markdown table of medians and ratios for README.md.
#
#   bench/run.sh
#
# BENCH_ROUNDS (3) x BENCH_RUNS (7) timed runs per contender, after
# BENCH_WARMUP (2) warm-up runs per round; BENCH_MEMORY_RUNS (5) peak-memory
# runs; BENCH_REPETITIONS (9) repetitions of each in-process benchmark.
# Logs and raw results go to build/bench/results.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=${BENCH_ROUNDS:-3}
runs=${BENCH_RUNS:-7}
warmup=${BENCH_WARMUP:-2}
memory_runs=${BENCH_MEMORY_RUNS:-5}
repetitions=${BENCH_REPETITIONS:-9}

scripts/setup.sh hyperfine time zip unzip jq libbenchmark-dev

build=$root/build/bench
echo "== building the Release build in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DGRAVELHORN_TESTS=OFF -DGRAVELHORN_BENCHMARKS=ON >/dev/null
cmake --build "$build" -- -j2 --quiet
installer=$build/patch_installer
fff=$build/fff
make_sample=$build/bench/make_sample

sample=$build/sample
results=$build/results
rm -rf "$sample" "$results"
mkdir -p "$sample" "$results"

# A Wine-style prefix whose registry holds the game at C:\Games\Gravelhorn
# with language eng, in the 32-bit view of a 64-bit prefix.
make_prefix() {
  local prefix=$1
  mkdir -p "$prefix/dosdevices" "$prefix/drive_c/Games/Gravelhorn" "$prefix/drive_c/Patch"
  ln -s ../drive_c "$prefix/dosdevices/c:"
  # As in every Wine prefix, z: is the host's root: the in-process
  # benchmark names its archive by a host path, which Wine reaches there.
  ln -s / "$prefix/dosdevices/z:"
  cat > "$prefix/system.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Wow6432Node\\Quillfern\\GHR] 1796580337
#time=1da2b3c4d5e6f71
"Installpath"="C:\\Games\\Gravelhorn"
"Language"="eng"
REG
}

# The files a run installs for language eng, in the order it copies them,
# and Patch.dat's members, taken from a folder that holds the files under
# their installed names (make_sample reads both off the installer's tables).
executables=()
installed=()
patch_members=()
while read -r member game_file; do
  installed+=("$game_file")
  patch_members+=("$member=$game_file")
  if [ "$game_file" != Patch12.cod ]; then executables+=("$game_file"); fi
done < <("$make_sample" installed-files eng)

# The large sample: three 16 MiB executables, a 256 MiB language archive, a
# game archive of 100,000 members whose last one is Cfg/Menu.cfg.
echo "== laying out the large sample in $sample/large"
large=$sample/large
make_prefix "$large/prefix"
game=$large/prefix/drive_c/Games/Gravelhorn
patch=$large/prefix/drive_c/Patch
staging=$large/staging
mkdir -p "$staging" "$large/filler/Data" "$large/filler/Text" "$large/unpacked/Cfg"
seed=1
for name in "${executables[@]}"; do
  "$make_sample" fill "$staging/$name" $((16 << 20)) $((seed++))
done
"$make_sample" fill "$large/filler/Data/Textures.bin" $(((256 << 20) - 28 - 136)) $((seed++))
"$fff" create "$staging/Patch12.cod" -C "$large/filler" Data/Textures.bin
printf 'sample texts\n' > "$large/filler/Text/menu.txt"
"$fff" create "$game/Language.cod" -C "$large/filler" Text/menu.txt
rm -rf "$large/filler"
"$fff" create "$patch/Patch.dat" -C "$staging" "${patch_members[@]}"
(cd "$staging" && zip -0 -q "$large/patch.zip" "${installed[@]}")
"$make_sample" game-archive "$game/Game.cod" 100000
"$fff" extract "$game/Game.cod" -C "$large/unpacked" Cfg/Menu.cfg
largest_bytes=$(stat -c %s "$staging/Patch12.cod")
total_bytes=$(cat "${installed[@]/#/$staging/}" | wc -c)

# The demo's sample: tiny executables and archives.
echo "== laying out the demo-size sample in $sample/small"
small=$sample/small
make_prefix "$small/prefix"
small_game=$small/prefix/drive_c/Games/Gravelhorn
small_patch=$small/prefix/drive_c/Patch
small_staging=$small/staging
mkdir -p "$small_staging/game/Cfg" "$small_staging/game/Maps" "$small_staging/game/Text" \
  "$small_staging/lang/Cfg" "$small_staging/lang/Text"
printf '[Menu]\r\nresolution=800x600\r\n[Version]\r\nversion=v1.1\r\n' > "$small_staging/game/Cfg/Menu.cfg"
printf 'sample level\n' > "$small_staging/game/Maps/level01.map"
printf 'sample texts\n' > "$small_staging/game/Text/menu.txt"
"$fff" create "$small_game/Game.cod" -C "$small_staging/game" Cfg/Menu.cfg Maps/level01.map
"$fff" create "$small_game/Language.cod" -C "$small_staging/game" Text/menu.txt
for name in "${executables[@]}"; do
  printf 'MZ sample %s v1.2\n' "$name" > "$small_staging/$name"
done
printf '[Version]\r\nversion=v1.2\r\n' > "$small_staging/lang/Cfg/Menu.cfg"
printf 'texts in eng\n' > "$small_staging/lang/Text/menu.txt"
"$fff" create "$small_staging/Patch12.cod" -C "$small_staging/lang" Cfg/Menu.cfg Text/menu.txt
"$fff" create "$small_patch/Patch.dat" -C "$small_staging" "${patch_members[@]}"

# Each contender writes the same four files into the game folder, which
# holds none of them before each run.
remove_command() {  # GAME_FOLDER
  local command="rm -f"
  for name in "${installed[@]}"; do command+=" '$1/$name'"; done
  echo "$command"
}
cp_command() {  # STAGING GAME_FOLDER
  local command="cp --reflink=never"
  for name in "${installed[@]}"; do command+=" '$1/$name'"; done
  echo "$command '$2/'"
}
# The same copy made durable, as the installer makes each file before it
# puts it in place: the copied files flushed to the disk.
durable_cp_command() {  # STAGING GAME_FOLDER
  local command
  command="$(cp_command "$1" "$2") && sync"
  for name in "${installed[@]}"; do command+=" '$2/$name'"; done
  echo "sh -c \"$command\""
}
run_installer() {  # PREFIX PATCH_FOLDER: one run as a player would start it
  (cd "$2" && WINEPREFIX="$1" "$installer" </dev/null)
}
check_installed() {  # STAGING GAME_FOLDER
  for name in "${installed[@]}"; do
    cmp -s "$1/$name" "$2/$name" || { echo "bench: $2/$name differs from $1/$name" >&2; exit 1; }
  done
}

# The installer must patch both samples before anything is timed.
for pair in "$large/prefix|$patch|$staging|$game" "$small/prefix|$small_patch|$small_staging|$small_game"; do
  IFS='|' read -r p_prefix p_patch p_staging p_game <<<"$pair"
  eval "$(remove_command "$p_game")"
  run_installer "$p_prefix" "$p_patch" >"$results/check.log"
  check_installed "$p_staging" "$p_game"
done

load() { uptime | sed 's/.*load average: //'; }
loads=()

# hyperfine: every round times all contenders, so a change in the machine's
# load touches each alike; the medians are taken over all rounds.
time_contenders() {  # LABEL PREFIX PATCH_FOLDER NAME COMMAND...
  local label=$1 prefix=$2 folder=$3
  shift 3
  local round
  for round in $(seq "$rounds"); do
    local before
    before=$(load)
    (cd "$folder" && WINEPREFIX="$prefix" hyperfine -N --style basic \
      --warmup "$warmup" --runs "$runs" --prepare "$PREPARE" \
      --export-json "$results/$label-$round.json" "$@") >>"$results/$label.log"
    loads+=("$label round $round: $before -> $(load)")
    echo "   $label round $round/$rounds done (load $before -> $(load))"
  done
}
median_seconds() {  # LABEL COMMAND_NAME
  jq -s --arg name "$2" '[.[].results[] | select(.command == $name) | .times[]]
    | sort | if length % 2 == 1 then .[length / 2 | floor]
             else (.[length / 2 - 1] + .[length / 2]) / 2 end' "$results/$1"-*.json
}

echo "== whole run, large sample ($rounds rounds of $runs runs after $warmup warm-up runs)"
PREPARE=$(remove_command "$game")
time_contenders whole "$large/prefix" "$patch" \
  -n installer "$installer" \
  -n "cp+sync" "$(durable_cp_command "$staging" "$game")" \
  -n cp "$(cp_command "$staging" "$game")" \
  -n unzip "unzip -o -q '$large/patch.zip' -d '$game'"
check_installed "$staging" "$game"

echo "== start to summary, demo-size sample"
PREPARE=$(remove_command "$small_game")
time_contenders small "$small/prefix" "$small_patch" \
  -n installer "$installer" \
  -n "cp+sync" "$(durable_cp_command "$small_staging" "$small_game")" \
  -n cp "$(cp_command "$small_staging" "$small_game")"
check_installed "$small_staging" "$small_game"

echo "== peak memory, large sample ($memory_runs runs)"
for i in $(seq "$memory_runs"); do
  eval "$(remove_command "$game")"
  (cd "$patch" && WINEPREFIX="$large/prefix" /usr/bin/time -f '%M %R' \
    -o "$results/memory-$i.txt" "$installer" </dev/null >/dev/null)
done
median_of_column() {  # COLUMN FILE...: the median of that column
  local column=$1
  shift
  awk -v c="$column" '{print $c}' "$@" | sort -n |
    awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
peak_kib=$(median_of_column 1 "$results"/memory-*.txt)
minor_faults=$(median_of_column 2 "$results"/memory-*.txt)

echo "== in-process: mount and lookup ($repetitions repetitions)"
before=$(load)
(cd "$build" && WINEPREFIX="$large/prefix" "$build/bench/archive_benchmark" \
  --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/archive.json" --benchmark_out_format=json \
  "$game/Game.cod" "$large/unpacked") >"$results/archive.log"
loads+=("in-process: $before -> $(load)")
in_process() {  # BENCHMARK FIELD: its median (its one run, without repetitions)
  jq --arg name "$1" --arg field "$2" '[.benchmarks[]
    | select(.run_name == $name + "/real_time")
    | select(.aggregate_name == "median" or .run_type == "iteration")]
    | .[0][$field]' "$results/archive.json"
}

# The table.
installer_s=$(median_seconds whole installer)
cp_s=$(median_seconds whole cp)
durable_s=$(median_seconds whole "cp+sync")
unzip_s=$(median_seconds whole unzip)
small_installer_s=$(median_seconds small installer)
small_cp_s=$(median_seconds small cp)
small_durable_s=$(median_seconds small "cp+sync")
mount_ms=$(in_process MountWholeArchive real_time)
mount_rate=$(in_process MountWholeArchive entries_per_second)
read_ms=$(in_process ReadDirectoryBytes real_time)
lookup_us=$(in_process LookUpLastMember real_time)
lookup_ns_per_entry=$(jq -n "$(in_process LookUpLastMember seconds_per_entry) * 1e9")
unpacked_us=$(in_process OpenUnpackedFile real_time)
entries=$(in_process MountWholeArchive entries)

cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
cores=$(nproc)
kernel=$(uname -r)
awk -v cpu="$cpu" -v cores="$cores" -v kernel="$kernel" -v today="$(date -u +%Y-%m-%d)" \
  -v total="$total_bytes" -v largest="$largest_bytes" -v entries="$entries" \
  -v inst="$installer_s" -v cp="$cp_s" -v durable="$durable_s" -v unz="$unzip_s" \
  -v sinst="$small_installer_s" -v scp="$small_cp_s" -v sdurable="$small_durable_s" \
  -v peak="$peak_kib" -v faults="$minor_faults" \
  -v mount="$mount_ms" -v rate="$mount_rate" -v readms="$read_ms" \
  -v lookup="$lookup_us" -v perentry="$lookup_ns_per_entry" -v unpacked="$unpacked_us" \
  -v runs="$((rounds * runs))" -v mruns="$memory_runs" -v reps="$repetitions" '
function yes(ok) { return ok ? "yes" : "**no**" }
BEGIN {
  mib = 1048576
  printf "\nMachine: %s, %d cores, Linux %s; %s.\n\n", cpu, cores, kernel, today
  print "| measure | installer | peer | peer figure | ratio | goal | met |"
  print "|---|---|---|---|---|---|---|"
  printf "| whole run, 4 files, %.0f MiB | %.0f ms | `cp --reflink=never` and `sync` of the copies | %.0f ms | %.2f | <= 1.30 | %s |\n",
    total / mib, inst * 1000, durable * 1000, inst / durable, yes(inst / durable <= 1.3)
  printf "| whole run, 4 files, %.0f MiB | %.0f ms | `cp --reflink=never` alone | %.0f ms | %.2f | - | - |\n",
    total / mib, inst * 1000, cp * 1000, inst / cp
  printf "| flushing 4 files, %.0f MiB, to the disk | - | `sync` after `cp`, less `cp` alone | %.0f ms | - | - | - |\n",
    total / mib, (durable - cp) * 1000
  printf "| whole run, 4 files, %.0f MiB | %.0f ms | `unzip -o` of a `zip -0` | %.0f ms | %.2f | < 1.00 | %s |\n",
    total / mib, inst * 1000, unz * 1000, inst / unz, yes(inst < unz)
  printf "| peak memory (max RSS) | %.1f MiB | largest file | %.1f MiB | %.3f (+%.1f MiB) | <= +16 MiB | %s |\n",
    peak / 1024, largest / mib, peak * 1024 / largest, peak / 1024 - largest / mib,
    yes(peak * 1024 <= largest + 16 * mib)
  printf "| mount, %d entries | %.2f ms (%.1f M entries/s) | reading the directory bytes | %.2f ms | %.2f | >= 5 M entries/s | %s |\n",
    entries, mount, rate / 1e6, readms, mount / readms, yes(rate >= 5e6)
  printf "| lookup of the last member | %.1f us (%.3f ns/entry) | the same name unpacked on disk | %.1f us | %.1f | - | - |\n",
    lookup, perentry, unpacked, lookup / unpacked
  printf "| start to summary, demo sample | %.2f ms | `cp` and `sync` of the same 4 files | %.2f ms | %.2f | <= 1.50 | %s |\n",
    sinst * 1000, sdurable * 1000, sinst / sdurable, yes(sinst / sdurable <= 1.5)
  printf "| start to summary, demo sample | %.2f ms | `cp` of the same 4 files | %.2f ms | %.2f | - | - |\n",
    sinst * 1000, scp * 1000, sinst / scp
  printf "\nMedians: whole runs of %d timed runs each (hyperfine, warm page cache, the four files removed before each run); peak memory of %d runs (`/usr/bin/time`, %d minor page faults); in-process figures of %d repetitions (Google Benchmark).\n",
    runs, mruns, faults, reps
}'
spread() {  # LABEL COMMAND_NAME: "min / median / max ms" of its timed runs
  jq -rs --arg name "$2" --argjson median "$(median_seconds "$1" "$2")" \
    '[.[].results[] | select(.command == $name) | .times[]] | sort
    | "\(.[0] * 1000 | round) / \($median * 1000 | round) / \(.[-1] * 1000 | round) ms"' \
    "$results/$1"-*.json
}
echo
echo "Whole runs, min / median / max: installer $(spread whole installer), cp+sync $(spread whole "cp+sync"), cp $(spread whole cp), unzip $(spread whole unzip)."
echo "Demo sample, min / median / max: installer $(spread small installer), cp+sync $(spread small "cp+sync"), cp $(spread small cp)."
echo
echo "Load average (1, 5, 15 min) before -> after each timing run:"
for line in "${loads[@]}"; do echo "- $line"; done
echo
echo "Logs and raw results: $results"
