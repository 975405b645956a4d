# The DICOM tests write their own files with GDCM's writer.
find_package(GDCM REQUIRED)
