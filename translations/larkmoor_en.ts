<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>CopyRequest</name>
    <message numerus="yes">
        <source>Code copied, %n second(s) left</source>
        <translation>
            <numerusform>Code copied, %n second left</numerusform>
            <numerusform>Code copied, %n seconds left</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>otp_status_view</name>
    <message numerus="yes">
        <source>Next code in %n second(s)</source>
        <translation>
            <numerusform>Next code in %n second</numerusform>
            <numerusform>Next code in %n seconds</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n second(s) left</source>
        <translation>
            <numerusform>%n second left</numerusform>
            <numerusform>%n seconds left</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>No code yet: next code in %n second(s)</source>
        <translation>
            <numerusform>No code yet: next code in %n second</numerusform>
            <numerusform>No code yet: next code in %n seconds</numerusform>
        </translation>
    </message>
</context>
</TS>
