# zsh -f zsh_complete.zsh FOLDER LINE...
# Types each LINE into an interactive zsh whose completion system found _vexa on its
# $fpath (from FOLDER, as it finds the installed one), presses Tab, and prints what
# completing the line's last word offered: the matches sorted, on one line.
zmodload zsh/zpty
dir=$1; shift
offered=$(mktemp "${TMPDIR:-/tmp}/vexa-zsh.XXXXXX")
zpty shell zsh -f -i
zpty -w shell "PS1='> '; fpath=($dir \$fpath); autoload -Uz compinit; compinit -u -D; setopt nobeep"
# Every match the completion functions add is noted in the file as well.
zpty -w shell "compadd() { local -a m; builtin compadd -O m \"\$@\"; print -rl -- \$m >>$offered; builtin compadd \"\$@\"; }"
zpty -w shell "print -r -- RE''ADY"
zpty -r shell screen '*READY*'
for line; do
  : >$offered
  zpty -w -n shell "$line"$'\t'
  # The line is cleared and a marker printed once the completion is done.
  zpty -w shell $'\C-e\C-u'"print -r -- EN''D"
  zpty -r shell screen '*END*'
  print -r -- $(sort -u $offered)
done
zpty -d shell
rm -f $offered
