# A cross build cannot run the content tools it compiles. It takes them from
# a native build of the same sources (./build.sh windows makes one in build/
# first): that build's rfapack packs the test archives, and its data.rfa,
# generated and packed there, is the content embedded here.
set(MARIVELLE_HOST_BUILD "" CACHE PATH "Native build folder holding tools/rfapack/rfapack and data.rfa")
set(MARIVELLE_HOST_RFAPACK ${MARIVELLE_HOST_BUILD}/tools/rfapack/rfapack)
set(MARIVELLE_HOST_DATA_ARCHIVE ${MARIVELLE_HOST_BUILD}/data.rfa)
set(MARIVELLE_HOST_ICON ${MARIVELLE_HOST_BUILD}/marivelle.ico)
if(NOT MARIVELLE_HOST_BUILD OR NOT EXISTS ${MARIVELLE_HOST_RFAPACK} OR NOT EXISTS ${MARIVELLE_HOST_DATA_ARCHIVE}
   OR NOT EXISTS ${MARIVELLE_HOST_ICON})
  message(FATAL_ERROR "A cross build needs -DMARIVELLE_HOST_BUILD=<native build folder> "
    "with the targets rfapack, marivelle_data_archive and marivelle_icons built")
endif()
add_executable(rfapack IMPORTED GLOBAL)
set_target_properties(rfapack PROPERTIES IMPORTED_LOCATION ${MARIVELLE_HOST_RFAPACK})
