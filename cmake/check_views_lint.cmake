# Lints QML views against the Carvo.Ui module's registered types and fails on anything the
# C++ seam would break at run time: a property, method or type of the module that the QML names
# and the C++ does not have. (Qt 6.4's qmllint also warns about things that are sound at run
# time, such as Qt.callLater; those are left to the lint target.)
#   cmake -DQMLLINT=… -DIMPORTS="dir;dir" -DFILES="a.qml;b.qml" [-DEXPECT=text] -P this
# Without EXPECT the files must lint free of such faults; with it, the lint must report a fault
# whose text contains EXPECT (the check's own test).
set(import_args)
foreach(dir IN LISTS IMPORTS)
    list(APPEND import_args -I ${dir})
endforeach()
execute_process(COMMAND ${QMLLINT} --bare ${import_args} ${FILES}
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
string(REPLACE "\n" ";" lines "${out}")
set(faults)
foreach(line IN LISTS lines)
    if(line MATCHES "^Warning:" AND line MATCHES
       "carvo::ui::|not resolved|Type \"[A-Za-z:]+\" of property|Component is missing required")
        list(APPEND faults "${line}")
    endif()
endforeach()
list(JOIN faults "\n" report)
if(DEFINED EXPECT)
    string(FIND "${report}" "${EXPECT}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the lint did not report \"${EXPECT}\":\n${out}")
    endif()
elseif(faults)
    message(FATAL_ERROR "the views do not match the C++ types they bind to:\n${report}")
endif()
