# A program's --help (CLI11's layout) to the Markdown of its manual page's
# OPTIONS: each option a term, its description the definition.
/^[^ ]/ { in_options = ($0 == "Options:"); next }
!in_options || /^$/ { next }
/^  -/ {
  flush()
  line = substr($0, 3)
  split_at = match(line, /  +/)
  if (split_at) { term = substr(line, 1, split_at - 1); text = substr(line, split_at + RLENGTH) }
  else { term = line; text = "" }
  next
}
{ sub(/^ +/, ""); text = text (text == "" ? "" : " ") $0 }
function flush() {
  gsub(/[][\\*_<>@#|`$~^]/, "\\\\&", text)
  if (term != "") printf "`%s`\n:   %s\n\n", term, text
  term = ""
}
END { flush() }
