# Fails, with one message naming the folder, when the corpus of real PDFs the corpus
# tests read is not there. Run by CTest as: cmake -DCORPUS=FOLDER -P CorpusPresent.cmake
foreach(part manifest.csv files bad)
  if(NOT EXISTS "${CORPUS}/${part}")
    message(FATAL_ERROR "The corpus of real PDFs is missing: ${CORPUS}/${part} does not exist. "
            "The tests labelled corpus need it; set VEXA_CORPUS_DIR to its folder, or run "
            "ctest -LE corpus to leave them out.")
  endif()
endforeach()
file(GLOB pdfs "${CORPUS}/files/*.pdf")
list(LENGTH pdfs n)
if(n EQUAL 0)
  message(FATAL_ERROR "The corpus of real PDFs at ${CORPUS} holds no files/*.pdf.")
endif()
message(STATUS "corpus: ${n} files in ${CORPUS}/files")
