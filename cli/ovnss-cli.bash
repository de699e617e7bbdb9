# Bash completion for ovnss-cli: its commands, each command's options, the
# fixed values of the options that take them, and file names elsewhere.
_ovnss_cli() {
  local cur prev words cword
  _init_completion 2>/dev/null || {
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
  }
  local commands="disks pools volumes ls tree save partitions carve save-info recover"
  local shared="--json --bad-sectors --help"
  local volume="--disk --map --mode --pool --volume --from"
  case $prev in
    --mode) COMPREPLY=($(compgen -W "quick advance" -- "$cur")); return ;;
    --bad-sectors) COMPREPLY=($(compgen -W "ask retry-all skip-all" -- "$cur")); return ;;
    --replace) COMPREPLY=($(compgen -W "ask yes-to-all no-to-all" -- "$cur")); return ;;
    --kinds) COMPREPLY=($(compgen -W "word excel powerpoint zip" -- "$cur")); return ;;
    --dest) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --disk|--map|--from|--out|--pdf|--view-file) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --pool|--volume|--ext|--after|--before|--start|--end) return ;;
  esac
  local command="" i
  for ((i = 1; i < cword; ++i)); do
    case " $commands " in *" ${words[i]} "*) command=${words[i]}; break ;; esac
  done
  local options
  case $command in
    "") COMPREPLY=($(compgen -W "$commands --json --bad-sectors --help --help-all" -- "$cur")); return ;;
    disks) options="--disk --map" ;;
    pools) options="--disk --map --mode" ;;
    volumes) options="--disk --map --mode --pool" ;;
    ls) options="$volume --recursive" ;;
    tree) options="$volume --pdf --view-file" ;;
    save) options="$volume --dest --ext --replace --after --before" ;;
    partitions) options="--disk --map" ;;
    carve) options="--disk --map --dest --kinds --start --end --exact" ;;
    save-info) options="--disk --map --mode --pool --volume --out" ;;
    recover) options="--disk --map --mode --dest --replace" ;;
  esac
  COMPREPLY=($(compgen -W "$options $shared" -- "$cur"))
}
complete -F _ovnss_cli ovnss-cli
