# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# bash completion for qlbook

_qlbook() {
  local cur prev words cword
  _init_completion || return

  local commands="info subjects head record render lookup search import export-text
    upgrade export-pdb bookmarks define library index fts serve"
  local command= i
  for ((i = 1; i < cword; i++)); do
    case ${words[i]} in
      -*) ;;
      *) command=${words[i]}; break ;;
    esac
  done

  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  # Values of the options that take one.
  case $prev in
    --format) COMPREPLY=($(compgen -W "tagged tab dictd stardict" -- "$cur")); return ;;
    --encoding) COMPREPLY=($(compgen -W "utf-8 cp1252" -- "$cur")); return ;;
    --book-version) COMPREPLY=($(compgen -W "2001 2002" -- "$cur")); return ;;
    --add | --remove)
      if [[ $command == library ]]; then _filedir; fi
      return ;;
    --found | --face | --size | --name | --threads | --and | --limit) return ;;
  esac

  local options="--help"
  case $command in
    info) options+=" --check" ;;
    render) options+=" --found --face --size" ;;
    lookup) options+=" --prefix" ;;
    search) options+=" --and --exclude --whole-word --subjects-only --first --threads" ;;
    import) options+=" --format --encoding --book-version" ;;
    upgrade) options+=" --book-version" ;;
    export-pdb) options+=" --name" ;;
    bookmarks) options+=" --add --remove" ;;
    define) options+=" --prefix --json" ;;
    library) options+=" --add --remove --find-dictionaries" ;;
    index) options+=" --remove" ;;
    fts) options+=" --limit --json" ;;
    serve) options+=" --listen" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ $command != library ]]; then
    _filedir
  fi
} && complete -F _qlbook qlbook
