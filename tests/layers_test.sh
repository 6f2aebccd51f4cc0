#!/bin/sh
# The layers as docs/architecture.md draws them: each folder under src/ includes
# only itself and the folders it is built on, and no Qt-free folder includes Qt.
# An include without a folder is the including file's own folder's.
src=${1:?usage: layers_test.sh SRC}
status=0
check() {  # folder, Qt allowed (yes/no), the folders it may include
  folder=$1 qt=$2
  shift 2
  for include in $(grep -rhoE '^#include "[a-z_]+/' "$src/$folder" | sed 's/#include "//; s#/##' | sort -u); do
    case " $folder $* " in *" $include "*) ;; *)
      echo "src/$folder includes $include/:" && grep -rlE "^#include \"$include/" "$src/$folder"
      status=1 ;;
    esac
  done
  if [ "$qt" = no ] && grep -rlE '^#include <(Q[A-Za-z]*|qcustomplot\.h)>' "$src/$folder"; then
    echo "src/$folder is Qt-free, yet includes Qt (above)"
    status=1
  fi
}
check support no
check link no support
check board no link support
check bench no board link support
check sim no board link support
check cli no bench board link support
check pages yes bench board link support
check tools yes pages bench board link support
check window yes tools pages sim bench board link support
for folder in "$src"/*/; do
  case $(basename "$folder") in support|link|board|bench|sim|cli|pages|tools|window) ;;
    *) echo "src/$(basename "$folder") has no place among the layers" && status=1 ;;
  esac
done
exit $status
