# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# fish completion for qlbook

set -l commands info subjects head record render lookup search import export-text upgrade export-pdb bookmarks define library index fts serve

complete -c qlbook -f
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -l help -s h -d 'Print help and exit'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the version and exit'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a info -d 'Describe a book'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a subjects -d 'Print every subject'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a head -d 'Print the head of one record'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a record -d 'Print the stored text of one record'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a render -d 'Write the page of one record'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a lookup -d 'Find a subject'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a search -d 'Find every record that matches'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a import -d 'Build a book from text or a dictionary'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a export-text -d 'Write a book as tab-separated text'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a upgrade -d 'Write a legacy book as a new book'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a export-pdb -d 'Write a book as a handheld database'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a bookmarks -d 'List, add or remove bookmarks'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a define -d 'Look a word up in many books'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a library -d 'List and change the library'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a index -d 'Build the full-text index of books'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a fts -d 'Search the text of many books'
complete -c qlbook -n "not __fish_seen_subcommand_from $commands" -a serve -d 'Serve books to a web browser'

# Every command but library takes files.
complete -c qlbook -n "__fish_seen_subcommand_from $commands; and not __fish_seen_subcommand_from library" -F
complete -c qlbook -n "__fish_seen_subcommand_from $commands" -l help -s h -d 'Print help and exit'

complete -c qlbook -n '__fish_seen_subcommand_from info' -l check -d 'List what is damaged'
complete -c qlbook -n '__fish_seen_subcommand_from render' -l found -x -d 'Mark the search hit at POS LEN'
complete -c qlbook -n '__fish_seen_subcommand_from render' -l face -x -d 'Font face'
complete -c qlbook -n '__fish_seen_subcommand_from render' -l size -x -d 'HTML font size'
complete -c qlbook -n '__fish_seen_subcommand_from lookup define' -l prefix -d 'A subject that begins with it'
complete -c qlbook -n '__fish_seen_subcommand_from search' -l and -x -d 'A further term the record must hold'
complete -c qlbook -n '__fish_seen_subcommand_from search' -l exclude -d 'The term before must not occur'
complete -c qlbook -n '__fish_seen_subcommand_from search' -l whole-word -d 'Whole words only'
complete -c qlbook -n '__fish_seen_subcommand_from search' -l subjects-only -d 'Search the subjects only'
complete -c qlbook -n '__fish_seen_subcommand_from search' -l first -d 'Stop after the first hit'
complete -c qlbook -n '__fish_seen_subcommand_from search' -l threads -x -d 'Threads to search on'
complete -c qlbook -n '__fish_seen_subcommand_from import' -l format -x -a 'tagged tab dictd stardict' -d 'Source format'
complete -c qlbook -n '__fish_seen_subcommand_from import' -l encoding -x -a 'utf-8 cp1252' -d 'Text encoding'
complete -c qlbook -n '__fish_seen_subcommand_from import upgrade' -l book-version -x -a '2001 2002' -d 'Book version to write'
complete -c qlbook -n '__fish_seen_subcommand_from export-pdb' -l name -x -d 'Database name'
complete -c qlbook -n '__fish_seen_subcommand_from bookmarks' -l add -x -d 'Bookmark record INDEX'
complete -c qlbook -n '__fish_seen_subcommand_from bookmarks' -l remove -x -d 'Clear slot SLOT'
complete -c qlbook -n '__fish_seen_subcommand_from define fts' -l json -d 'One JSON object a line'
complete -c qlbook -n '__fish_seen_subcommand_from index' -l remove -d 'Remove the indexes instead'
complete -c qlbook -n '__fish_seen_subcommand_from fts' -l limit -x -d 'Print at most N hits'
complete -c qlbook -n '__fish_seen_subcommand_from serve' -l listen -x -d 'Listen on ADDRESS:PORT'
complete -c qlbook -n '__fish_seen_subcommand_from library' -l add -r -F -d 'Add a folder or a book'
complete -c qlbook -n '__fish_seen_subcommand_from library' -l remove -r -F -d 'Take a folder or a book out'
complete -c qlbook -n '__fish_seen_subcommand_from library' -l find-dictionaries -d 'Import the dictionaries found'
