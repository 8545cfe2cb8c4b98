@echo off
rem Tries the gateway out before the participant's own service is set up:
rem a local dravont-service on port 12169, ALPHA's gateway sends
rem hello.txt to BETA, BETA's gateway receives it into beta\in.
setlocal
cd /d "%~dp0"
set XMLRPCPORT=12169
for %%d in (alpha\out alpha\sent alpha\in alpha\error beta\in beta\error) do if not exist %%d mkdir %%d
echo Hello from ALPHA> alpha\out\hello.txt

echo Starting dravont-service on 127.0.0.1:%XMLRPCPORT%
if exist dravont-service.pid del dravont-service.pid
start "dravont-service" /b dravont-service.exe --port %XMLRPCPORT% --store store --pid-file dravont-service.pid

echo ALPHA's gateway: one pass
pushd alpha
..\..\Trasvik.exe /ini:trasvik.ini
echo exit status %ERRORLEVEL%
popd

echo BETA's gateway: one pass
pushd beta
..\..\Trasvik.exe /ini:trasvik.ini
echo exit status %ERRORLEVEL%
popd

if exist beta\in\hello.txt (echo hello.txt received by BETA) else (echo hello.txt was NOT received)
echo The gateways' logs: alpha\trasvik.log, beta\trasvik.log
rem Only the service started above is stopped: a stop by program name
rem would end every dravont-service on the machine.
if exist dravont-service.pid for /f %%p in (dravont-service.pid) do taskkill /pid %%p /f >nul 2>&1
if exist dravont-service.pid del dravont-service.pid
endlocal
