# bash completion for corvioctl: its commands, each command's options, and the profile tags of
# this user (corvioctl profile list).

_corvioctl_tags() {
  corvioctl profile list 2> /dev/null | cut -f1
}

_corvioctl() {
  local cur prev words cword
  _init_completion || return
  local command="${words[1]:-}" sub="${words[2]:-}"
  local field_options="--tag --description --server --port --login --password-stdin
    --priority --file-delay --block-delay --tx-limit --no-tx-limit --tx-unit --rx-limit
    --no-rx-limit --rx-unit --shadow-copy --include --exclude --help"

  if [ "$cword" -eq 1 ]; then
    COMPREPLY=($(compgen -W "profile runs log trust-ca schedule --help --version" -- "$cur"))
    return
  fi
  case "$command" in
    profile)
      if [ "$cword" -eq 2 ]; then
        COMPREPLY=($(compgen -W "create edit show list delete --help" -- "$cur"))
        return
      fi
      case "$prev" in
        --tag) [ "$sub" = edit ] && COMPREPLY=($(compgen -W "$(_corvioctl_tags)" -- "$cur")); return ;;
        --shadow-copy) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
        --priority) COMPREPLY=($(compgen -W "0 1 2 3 4" -- "$cur")); return ;;
        --tx-unit | --rx-unit) COMPREPLY=($(compgen -W "0 1 2 3 4 5" -- "$cur")); return ;;
        --include) _filedir -d; return ;;
        --description | --server | --port | --login | --file-delay | --block-delay | \
          --tx-limit | --rx-limit | --exclude) return ;;
      esac
      case "$sub" in
        create | edit) COMPREPLY=($(compgen -W "$field_options" -- "$cur")) ;;
        show) COMPREPLY=($(compgen -W "--json --help $(_corvioctl_tags)" -- "$cur")) ;;
        list) COMPREPLY=($(compgen -W "--json --help" -- "$cur")) ;;
        delete) COMPREPLY=($(compgen -W "--help $(_corvioctl_tags)" -- "$cur")) ;;
      esac
      ;;
    runs)
      COMPREPLY=($(compgen -W "--json --help $(_corvioctl_tags)" -- "$cur"))
      ;;
    log)
      [ "$cword" -eq 2 ] && COMPREPLY=($(compgen -W "--help $(_corvioctl_tags)" -- "$cur"))
      ;;
    trust-ca)
      _filedir
      ;;
    schedule)
      if [ "$cword" -eq 2 ]; then
        COMPREPLY=($(compgen -W "list --help $(_corvioctl_tags)" -- "$cur"))
      elif [ "$prev" = --weekly ]; then
        COMPREPLY=($(compgen -W "Mon Tue Wed Thu Fri Sat Sun" -- "$cur"))
      elif [ "$cword" -eq 3 ] && [ "$sub" != list ]; then
        COMPREPLY=($(compgen -W "--daily --hourly --weekly --off" -- "$cur"))
      fi
      ;;
  esac
} &&
  complete -F _corvioctl corvioctl
