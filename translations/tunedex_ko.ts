<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko_KR">
<context>
    <name>CMainFrame</name>
    <message>
        <source>File filter</source>
        <translation>파일 필터</translation>
    </message>
</context>
<context>
    <name>ErrorAdvice</name>
    <message>
        <source>The player finds no memory card. Insert the card firmly, or work on the internal memory.</source>
        <translation>플레이어에서 메모리 카드를 찾을 수 없습니다. 카드를 끝까지 꽂거나 내장 메모리를 사용하십시오.</translation>
    </message>
    <message>
        <source>The memory card was changed while it was in use. Press F5 to read it again.</source>
        <translation>사용 중에 메모리 카드가 바뀌었습니다. F5 키를 눌러 다시 읽으십시오.</translation>
    </message>
    <message>
        <source>The player cannot read the file system of this memory. Formatting it makes it usable again, but deletes everything on it.</source>
        <translation>플레이어가 이 메모리의 파일 시스템을 읽을 수 없습니다. 포맷하면 다시 쓸 수 있지만 안의 내용은 모두 지워집니다.</translation>
    </message>
    <message>
        <source>The player does not accept this name. Use a shorter name of letters, digits and spaces.</source>
        <translation>플레이어가 이 이름을 받아들이지 않습니다. 글자, 숫자, 공백으로 된 더 짧은 이름을 쓰십시오.</translation>
    </message>
    <message>
        <source>A file or directory of this name is already on the player. Rename or delete it first.</source>
        <translation>플레이어에 같은 이름의 파일이나 디렉터리가 이미 있습니다. 먼저 이름을 바꾸거나 삭제하십시오.</translation>
    </message>
    <message>
        <source>This directory on the player holds as many files as it can. Delete some, or use another directory.</source>
        <translation>플레이어의 이 디렉터리에는 더 이상 파일을 넣을 수 없습니다. 몇 개를 삭제하거나 다른 디렉터리를 사용하십시오.</translation>
    </message>
    <message>
        <source>The player no longer has this file or directory. Press F5 to see what is there now.</source>
        <translation>플레이어에 이 파일이나 디렉터리가 더 이상 없습니다. F5 키를 눌러 현재 내용을 확인하십시오.</translation>
    </message>
    <message>
        <source>This cannot be done in the top directory of the memory.</source>
        <translation>메모리의 최상위 디렉터리에서는 할 수 없는 작업입니다.</translation>
    </message>
    <message>
        <source>The player does not allow this. If the memory card has a lock switch, slide it to unlocked.</source>
        <translation>플레이어가 이 작업을 허용하지 않습니다. 메모리 카드에 잠금 스위치가 있으면 잠금을 푸십시오.</translation>
    </message>
    <message>
        <source>The memory of the player is full. Delete files on the player to make room.</source>
        <translation>플레이어의 메모리가 가득 찼습니다. 플레이어의 파일을 삭제해 공간을 확보하십시오.</translation>
    </message>
    <message>
        <source>The player&apos;s memory reported damaged data. Copy off what you need; formatting at low level may mend it.</source>
        <translation>플레이어의 메모리가 손상된 데이터를 보고했습니다. 필요한 파일을 먼저 옮기십시오. 로우 레벨 포맷으로 고쳐질 수 있습니다.</translation>
    </message>
    <message>
        <source>The connection to the player was disturbed. Check the cable and try again.</source>
        <translation>플레이어와의 연결이 불안정했습니다. 케이블을 확인하고 다시 시도하십시오.</translation>
    </message>
    <message>
        <source>The player&apos;s firmware cannot do this. A newer firmware may.</source>
        <translation>플레이어의 펌웨어가 이 기능을 지원하지 않습니다. 새 펌웨어에서는 될 수 있습니다.</translation>
    </message>
    <message>
        <source>The player refused the command. Press F5 and try again; if it keeps failing, unplug the player and plug it in again.</source>
        <translation>플레이어가 명령을 거부했습니다. F5 키를 누르고 다시 시도하십시오. 계속 실패하면 플레이어를 뽑았다가 다시 연결하십시오.</translation>
    </message>
    <message>
        <source>A file or folder on this computer was not found. Check that it still exists.</source>
        <translation>이 컴퓨터에서 파일이나 폴더를 찾을 수 없습니다. 아직 있는지 확인하십시오.</translation>
    </message>
    <message>
        <source>You may not use this file or folder on this computer. Choose another folder or change its permissions.</source>
        <translation>이 컴퓨터의 이 파일이나 폴더를 사용할 권한이 없습니다. 다른 폴더를 고르거나 권한을 바꾸십시오.</translation>
    </message>
    <message>
        <source>The disk of this computer is full. Make room, or choose a folder on another disk.</source>
        <translation>이 컴퓨터의 디스크가 가득 찼습니다. 공간을 확보하거나 다른 디스크의 폴더를 고르십시오.</translation>
    </message>
    <message>
        <source>The folder on this computer is read-only. Choose another folder.</source>
        <translation>이 컴퓨터의 폴더가 읽기 전용입니다. 다른 폴더를 고르십시오.</translation>
    </message>
    <message>
        <source>The name or path is too long for this computer. Choose a shorter name or a folder nearer the top.</source>
        <translation>이름이나 경로가 이 컴퓨터에서 쓰기에 너무 깁니다. 더 짧은 이름이나 상위에 가까운 폴더를 고르십시오.</translation>
    </message>
    <message>
        <source>A folder is in the way where a file was to be written. Rename the folder or choose another name.</source>
        <translation>파일을 쓰려는 자리에 같은 이름의 폴더가 있습니다. 폴더 이름을 바꾸거나 다른 이름을 고르십시오.</translation>
    </message>
    <message>
        <source>A file on this computer could not be read or written. Check that it exists and that you may use it.</source>
        <translation>이 컴퓨터의 파일을 읽거나 쓸 수 없었습니다. 파일이 있는지, 사용할 권한이 있는지 확인하십시오.</translation>
    </message>
    <message>
        <source>The USB system cannot be used. Check that you may use USB devices (the udev rule of the player is installed).</source>
        <translation>USB 시스템을 사용할 수 없습니다. USB 장치를 사용할 권한이 있는지(플레이어의 udev 규칙이 설치되어 있는지) 확인하십시오.</translation>
    </message>
    <message>
        <source>No player is connected. Plug the player in, switch it on and wait a moment.</source>
        <translation>연결된 플레이어가 없습니다. 플레이어를 연결하고 전원을 켠 뒤 잠시 기다리십시오.</translation>
    </message>
    <message>
        <source>The player did not answer in time. Check the cable; for large files or a slow card, raise the time-outs in Edit &gt; Option.</source>
        <translation>플레이어가 제시간에 응답하지 않았습니다. 케이블을 확인하십시오. 큰 파일이나 느린 카드라면 편집 &gt; 옵션에서 제한 시간을 늘리십시오.</translation>
    </message>
    <message>
        <source>This computer ran out of memory. Close other programs and try again.</source>
        <translation>이 컴퓨터의 메모리가 부족합니다. 다른 프로그램을 닫고 다시 시도하십시오.</translation>
    </message>
    <message>
        <source>The player cannot hold a file of 4 GB or more. Split the file or copy a smaller one.</source>
        <translation>플레이어에는 4GB 이상의 파일을 넣을 수 없습니다. 파일을 나누거나 더 작은 파일을 복사하십시오.</translation>
    </message>
    <message>
        <source>The player&apos;s firmware cannot do this. A newer firmware may; the expected version is set in Edit &gt; Option.</source>
        <translation>플레이어의 펌웨어가 이 기능을 지원하지 않습니다. 새 펌웨어에서는 될 수 있습니다. 예상 펌웨어 버전은 편집 &gt; 옵션에서 설정합니다.</translation>
    </message>
    <message>
        <source>There is no memory card in the player. Insert one, or work on the internal memory.</source>
        <translation>플레이어에 메모리 카드가 없습니다. 카드를 꽂거나 내장 메모리를 사용하십시오.</translation>
    </message>
    <message>
        <source>The player cannot store this name (for example &apos;:&apos; or &apos;\&apos; in it). Rename the file or let TuneDeck use &apos;_&apos; instead.</source>
        <translation>플레이어는 이 이름(예: &apos;:&apos;나 &apos;\&apos;가 들어간 이름)을 저장할 수 없습니다. 파일 이름을 바꾸거나 TuneDeck이 대신 &apos;_&apos;를 쓰게 하십시오.</translation>
    </message>
    <message>
        <source>Something unexpected went wrong. Try again; if it keeps failing, unplug the player and plug it in again.</source>
        <translation>예상하지 못한 문제가 생겼습니다. 다시 시도하십시오. 계속 실패하면 플레이어를 뽑았다가 다시 연결하십시오.</translation>
    </message>
</context>
<context>
    <name>HAboutDlg</name>
    <message>
        <source>TuneDeck</source>
        <translation>TuneDeck</translation>
    </message>
    <message>
        <source>TuneDeck Version 1.94 - 2</source>
        <translation>TuneDeck 버전 1.94 - 2</translation>
    </message>
    <message>
        <source>(Build Number #57)</source>
        <translation>(빌드 번호 #57)</translation>
    </message>
    <message>
        <source>TuneDeck for Linux %1: music and recordings manager for ZVC450 players</source>
        <translation>리눅스용 TuneDeck %1: ZVC450 플레이어의 음악과 녹음 관리 프로그램</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>확인</translation>
    </message>
</context>
<context>
    <name>HConfigDlg</name>
    <message>
        <source>Automatic</source>
        <translation>자동</translation>
    </message>
    <message>
        <source>Lower than v1.20</source>
        <translation>v1.20 미만</translation>
    </message>
    <message>
        <source>Configuration</source>
        <translation>환경 설정</translation>
    </message>
    <message>
        <source>Receiving Timeout [ms] :</source>
        <translation>수신 제한 시간 [ms] :</translation>
    </message>
    <message>
        <source>(Recomend : 300,000)</source>
        <translation>(권장 : 300,000)</translation>
    </message>
    <message>
        <source>Transmission Timeout [ms] :</source>
        <translation>송신 제한 시간 [ms] :</translation>
    </message>
    <message>
        <source>(Recomend : 100,000)</source>
        <translation>(권장 : 100,000)</translation>
    </message>
    <message>
        <source>Formating Timeout [ms] :</source>
        <translation>포맷 제한 시간 [ms] :</translation>
    </message>
    <message>
        <source>(Recomend : 3,000,000)</source>
        <translation>(권장 : 3,000,000)</translation>
    </message>
    <message>
        <source>Verify copies to the player</source>
        <translation>플레이어에 복사한 파일 검증</translation>
    </message>
    <message>
        <source>ROM writing in MDS</source>
        <translation>MDS에서 ROM 쓰기</translation>
    </message>
    <message>
        <source>ROM writing in stand-alone mode</source>
        <translation>단독 모드에서 ROM 쓰기</translation>
    </message>
    <message>
        <source>Convert to WAV</source>
        <translation>WAV로 변환</translation>
    </message>
    <message>
        <source>Download Binary Brightfen ADPCM (BCW)</source>
        <translation>Brightfen ADPCM(BCW) 원본 그대로 받기</translation>
    </message>
    <message>
        <source>Download Binary Brightfen BVF</source>
        <translation>Brightfen BVF 원본 그대로 받기</translation>
    </message>
    <message>
        <source>Browse &gt;&gt;</source>
        <translation>찾아보기 &gt;&gt;</translation>
    </message>
    <message>
        <source>File Name to Save :</source>
        <translation>저장할 파일 이름 :</translation>
    </message>
    <message>
        <source>Viewer Link :</source>
        <translation>뷰어 프로그램 :</translation>
    </message>
    <message>
        <source>Block Address Range :</source>
        <translation>블록 주소 범위 :</translation>
    </message>
    <message>
        <source>Addr :</source>
        <translation>주소 :</translation>
    </message>
    <message>
        <source>Count :</source>
        <translation>개수 :</translation>
    </message>
    <message>
        <source>Select Expected Firmware Version :</source>
        <translation>예상 펌웨어 버전 선택 :</translation>
    </message>
    <message>
        <source>User Specific VID &amp;&amp; PID : (hex only) (clear = 0)</source>
        <translation>사용자 지정 VID &amp;&amp; PID : (16진수만) (지우면 0)</translation>
    </message>
    <message>
        <source>VID :</source>
        <translation>VID :</translation>
    </message>
    <message>
        <source>PID :</source>
        <translation>PID :</translation>
    </message>
    <message>
        <source>Use Internal Flash Only</source>
        <translation>내장 플래시만 사용</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; is %3. The old value %4 is kept.</source>
        <translation>%1: &quot;%2&quot;은(는) %3. 이전 값 %4을(를) 그대로 둡니다.</translation>
    </message>
    <message>
        <source>not a whole number of milliseconds from %1 to %2</source>
        <translation>%1에서 %2 사이의 밀리초 정수가 아닙니다</translation>
    </message>
    <message>
        <source>Receiving Timeout</source>
        <translation>수신 제한 시간</translation>
    </message>
    <message>
        <source>Transmission Timeout</source>
        <translation>송신 제한 시간</translation>
    </message>
    <message>
        <source>Formating Timeout</source>
        <translation>포맷 제한 시간</translation>
    </message>
    <message>
        <source>not four hexadecimal digits (an empty field means none)</source>
        <translation>16진수 네 자리가 아닙니다 (비워 두면 사용하지 않음)</translation>
    </message>
    <message>
        <source>VID</source>
        <translation>VID</translation>
    </message>
    <message>
        <source>PID</source>
        <translation>PID</translation>
    </message>
    <message>
        <source>Data File (*.dat)</source>
        <translation>데이터 파일 (*.dat)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>모든 파일 (*)</translation>
    </message>
    <message>
        <source>Executable File (*.exe)</source>
        <translation>실행 파일 (*.exe)</translation>
    </message>
</context>
<context>
    <name>HDesktopView</name>
    <message>
        <source>Properties</source>
        <translation>속성</translation>
    </message>
    <message>
        <source>Up One Level</source>
        <translation>상위 폴더로</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>삭제(&amp;D)</translation>
    </message>
    <message>
        <source>&amp;Properties</source>
        <translation>속성(&amp;P)</translation>
    </message>
    <message>
        <source>Drive (%1)</source>
        <translation>드라이브 (%1)</translation>
    </message>
    <message>
        <source>Up One Level (Backspace)</source>
        <translation>상위 폴더로 (Backspace)</translation>
    </message>
    <message>
        <source>Files on this computer</source>
        <translation>이 컴퓨터의 파일</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>폴더</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be a file name: a name cannot contain &quot;/&quot; or be &quot;.&quot; or &quot;..&quot;.</source>
        <translation>&quot;%1&quot;은(는) 파일 이름이 될 수 없습니다. 이름에 &quot;/&quot;를 넣거나 이름을 &quot;.&quot; 또는 &quot;..&quot;로 할 수 없습니다.</translation>
    </message>
</context>
<context>
    <name>HDiskInfoDlg</name>
    <message>
        <source>Good</source>
        <translation>정상</translation>
    </message>
    <message>
        <source>Invalid</source>
        <translation>비정상</translation>
    </message>
    <message>
        <source>Disk Medium Information</source>
        <translation>디스크 매체 정보</translation>
    </message>
    <message>
        <source>Medium Info</source>
        <translation>매체 정보</translation>
    </message>
    <message>
        <source>Device I/O Status :</source>
        <translation>장치 입출력 상태 :</translation>
    </message>
    <message>
        <source>Medium Type :</source>
        <translation>매체 종류 :</translation>
    </message>
    <message>
        <source>Total Block Count :</source>
        <translation>전체 블록 수 :</translation>
    </message>
    <message>
        <source>Used Block Count :</source>
        <translation>사용한 블록 수 :</translation>
    </message>
    <message>
        <source>Physical Block Count :</source>
        <translation>물리 블록 수 :</translation>
    </message>
    <message>
        <source>Bad Block Count :</source>
        <translation>불량 블록 수 :</translation>
    </message>
    <message>
        <source>File System Info</source>
        <translation>파일 시스템 정보</translation>
    </message>
    <message>
        <source>FAT Status :</source>
        <translation>FAT 상태 :</translation>
    </message>
    <message>
        <source>FAT Type :</source>
        <translation>FAT 종류 :</translation>
    </message>
    <message>
        <source>FAT Start Sector :</source>
        <translation>FAT 시작 섹터 :</translation>
    </message>
    <message>
        <source>FAT Sector Count :</source>
        <translation>FAT 섹터 수 :</translation>
    </message>
    <message>
        <source>Root Start Sector :</source>
        <translation>루트 시작 섹터 :</translation>
    </message>
    <message>
        <source>Root Entry Count :</source>
        <translation>루트 항목 수 :</translation>
    </message>
    <message>
        <source>Geometry :</source>
        <translation>구조 :</translation>
    </message>
    <message>
        <source>Total File Count :</source>
        <translation>전체 파일 수 :</translation>
    </message>
    <message>
        <source>Unknown Medium</source>
        <translation>알 수 없는 매체</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>알 수 없음</translation>
    </message>
    <message>
        <source>%1 (bytes/sector)</source>
        <translation>%1 (바이트/섹터)</translation>
    </message>
    <message>
        <source>%1 (sectors/cluster)</source>
        <translation>%1 (섹터/클러스터)</translation>
    </message>
    <message>
        <source>%1 (clusters/block)</source>
        <translation>%1 (클러스터/블록)</translation>
    </message>
</context>
<context>
    <name>HFileTypes</name>
    <message>
        <source>Folder</source>
        <translation>폴더</translation>
    </message>
</context>
<context>
    <name>HFolder</name>
    <message>
        <source>Drive</source>
        <translation>드라이브</translation>
    </message>
</context>
<context>
    <name>HFontInfoDlg</name>
    <message>
        <source>ZVC450 LCD Font Information</source>
        <translation>ZVC450 LCD 글꼴 정보</translation>
    </message>
    <message>
        <source>Size :</source>
        <translation>크기 :</translation>
    </message>
    <message>
        <source>File Name :</source>
        <translation>파일 이름 :</translation>
    </message>
</context>
<context>
    <name>HMp3MemView</name>
    <message>
        <source>&amp;Delete</source>
        <translation>삭제(&amp;D)</translation>
    </message>
    <message>
        <source>&amp;Up</source>
        <translation>위로(&amp;U)</translation>
    </message>
    <message>
        <source>Do&amp;wn</source>
        <translation>아래로(&amp;W)</translation>
    </message>
    <message>
        <source>&amp;Sort By Name</source>
        <translation>이름순 정렬(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Natural Order</source>
        <translation>자연순 정렬(&amp;N)</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>새로 고침(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Format</source>
        <translation>포맷(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Low Level Format</source>
        <translation>로우 레벨 포맷(&amp;L)</translation>
    </message>
    <message>
        <source>Ren&amp;ame</source>
        <translation>이름 바꾸기(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Change Directory</source>
        <translation>디렉터리 열기(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Make Directory</source>
        <translation>디렉터리 만들기(&amp;M)</translation>
    </message>
    <message>
        <source>Make Mult&amp;iple Directory (Debug Only)</source>
        <translation>여러 디렉터리 만들기(&amp;I) (디버그 전용)</translation>
    </message>
    <message>
        <source>Rem&amp;ove Directory</source>
        <translation>디렉터리 삭제(&amp;O)</translation>
    </message>
    <message>
        <source>Renam&amp;e Directory</source>
        <translation>디렉터리 이름 바꾸기(&amp;E)</translation>
    </message>
    <message>
        <source>Download Raw Da&amp;ta</source>
        <translation>원시 데이터 다운로드(&amp;T)</translation>
    </message>
    <message>
        <source>Disk &amp;Properties</source>
        <translation>디스크 속성(&amp;P)</translation>
    </message>
    <message>
        <source>,  incomplete listing (%1 of %2 files)</source>
        <translation>,  불완전한 목록 (파일 %2개 중 %1개)</translation>
    </message>
    <message>
        <source>Up One Level (Backspace)</source>
        <translation>상위 폴더로 (Backspace)</translation>
    </message>
    <message>
        <source>Up One Level</source>
        <translation>상위 폴더로</translation>
    </message>
</context>
<context>
    <name>HMultiDirDlg</name>
    <message>
        <source>Make Multiple Directory</source>
        <translation>여러 디렉터리 만들기</translation>
    </message>
    <message>
        <source>Directory Name :</source>
        <translation>디렉터리 이름 :</translation>
    </message>
    <message>
        <source>(Use &apos;%d&apos; for Auto Indexed Directory Name)</source>
        <translation>(자동 번호를 붙이려면 &apos;%d&apos;를 쓰십시오)</translation>
    </message>
    <message>
        <source>Start Index :</source>
        <translation>시작 번호 :</translation>
    </message>
    <message>
        <source>Number of Directoyies :</source>
        <translation>디렉터리 개수 :</translation>
    </message>
</context>
<context>
    <name>HProgressDlg</name>
    <message>
        <source>&amp;Cancel</source>
        <translation>취소(&amp;C)</translation>
    </message>
</context>
<context>
    <name>HTreeCtrlFolder</name>
    <message>
        <source>Desktop</source>
        <translation>바탕 화면</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>컴퓨터</translation>
    </message>
    <message>
        <source>Drive (%1)</source>
        <translation>드라이브 (%1)</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>네트워크</translation>
    </message>
    <message>
        <source>Documents</source>
        <translation>문서</translation>
    </message>
</context>
<context>
    <name>Menu</name>
    <message>
        <source>&amp;File</source>
        <translation>파일(&amp;F)</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>끝내기(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>편집(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Undo	Ctrl+Z</source>
        <translation>실행 취소(&amp;U)	Ctrl+Z</translation>
    </message>
    <message>
        <source>Cu&amp;t	Ctrl+X</source>
        <translation>잘라내기(&amp;T)	Ctrl+X</translation>
    </message>
    <message>
        <source>&amp;Copy	Ctrl+C</source>
        <translation>복사(&amp;C)	Ctrl+C</translation>
    </message>
    <message>
        <source>&amp;Paste	Ctrl+V</source>
        <translation>붙여넣기(&amp;P)	Ctrl+V</translation>
    </message>
    <message>
        <source>&amp;Option</source>
        <translation>옵션(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Sort By Name</source>
        <translation>이름순 정렬(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Natural Order</source>
        <translation>자연순 정렬(&amp;N)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>보기(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Tool Bar</source>
        <translation>도구 모음(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>상태 표시줄(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Properties</source>
        <translation>속성(&amp;P)</translation>
    </message>
    <message>
        <source>&amp;Tool</source>
        <translation>도구(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Refresh	F5</source>
        <translation>새로 고침(&amp;R)	F5</translation>
    </message>
    <message>
        <source>&amp;Format</source>
        <translation>포맷(&amp;F)</translation>
    </message>
    <message>
        <source>Format &amp;Internal Memory</source>
        <translation>내장 메모리 포맷(&amp;I)</translation>
    </message>
    <message>
        <source>Format &amp;External Memory</source>
        <translation>외장 메모리 포맷(&amp;E)</translation>
    </message>
    <message>
        <source>Format &amp;All Memory</source>
        <translation>모든 메모리 포맷(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Low Level Format</source>
        <translation>로우 레벨 포맷(&amp;L)</translation>
    </message>
    <message>
        <source>Low Format  &amp;Internal Memory</source>
        <translation>내장 메모리 로우 포맷(&amp;I)</translation>
    </message>
    <message>
        <source>Low Format &amp;External Memeory</source>
        <translation>외장 메모리 로우 포맷(&amp;E)</translation>
    </message>
    <message>
        <source>Low Format &amp;All Memory</source>
        <translation>모든 메모리 로우 포맷(&amp;A)</translation>
    </message>
    <message>
        <source>Upgrade &amp;Application Code</source>
        <translation>응용 코드 업그레이드(&amp;A)</translation>
    </message>
    <message>
        <source>Upgrade &amp;Boot Code</source>
        <translation>부트 코드 업그레이드(&amp;B)</translation>
    </message>
    <message>
        <source>ZVC450 LCD F&amp;ont</source>
        <translation>ZVC450 LCD 글꼴(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Download Font</source>
        <translation>글꼴 다운로드(&amp;D)</translation>
    </message>
    <message>
        <source>&amp;Erase Font</source>
        <translation>글꼴 지우기(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Upload Font</source>
        <translation>글꼴 업로드(&amp;U)</translation>
    </message>
    <message>
        <source>View Font &amp;Information</source>
        <translation>글꼴 정보 보기(&amp;I)</translation>
    </message>
    <message>
        <source>Download Raw &amp;Data</source>
        <translation>원시 데이터 다운로드(&amp;D)</translation>
    </message>
    <message>
        <source>Download &amp;Interal Raw Data</source>
        <translation>내장 원시 데이터 다운로드(&amp;I)</translation>
    </message>
    <message>
        <source>Download &amp;External Raw Data</source>
        <translation>외장 원시 데이터 다운로드(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;View Saved Raw Data File</source>
        <translation>저장된 원시 데이터 파일 보기(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Medium Information</source>
        <translation>매체 정보(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;Internal Memory Info</source>
        <translation>내장 메모리 정보(&amp;I)</translation>
    </message>
    <message>
        <source>&amp;External Memory Info</source>
        <translation>외장 메모리 정보(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>도움말(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;About TuneDeck...</source>
        <translation>TuneDeck 정보(&amp;A)...</translation>
    </message>
    <message>
        <source>New</source>
        <translation>새로 만들기</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>인쇄</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>잘라내기</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>복사</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>붙여넣기</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>실행 취소</translation>
    </message>
    <message>
        <source>About</source>
        <translation>정보</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>이름 바꾸기</translation>
    </message>
    <message>
        <source>Next Pane</source>
        <translation>다음 창</translation>
    </message>
    <message>
        <source>Previous Pane</source>
        <translation>이전 창</translation>
    </message>
</context>
<context>
    <name>TuneDeck</name>
    <message>
        <source>Upload From Internal Memory</source>
        <translation>내장 메모리에서 업로드</translation>
    </message>
    <message>
        <source>Upload From External Memory</source>
        <translation>외장 메모리에서 업로드</translation>
    </message>
    <message>
        <source>Download To Internal Memory</source>
        <translation>내장 메모리로 다운로드</translation>
    </message>
    <message>
        <source>Download To External Memory</source>
        <translation>외장 메모리로 다운로드</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>이름</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>크기</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>종류</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>날짜</translation>
    </message>
    <message>
        <source>Number</source>
        <translation>번호</translation>
    </message>
    <message>
        <source>Internal Memory</source>
        <translation>내장 메모리</translation>
    </message>
    <message>
        <source>External Memory</source>
        <translation>외장 메모리</translation>
    </message>
    <message>
        <source>Total %1%2,  Remain %3%4,  %5 File(s), %6 Directory(s)</source>
        <translation>전체 %1%2,  남은 공간 %3%4,  파일 %5개, 디렉터리 %6개</translation>
    </message>
    <message>
        <source>Not Connected</source>
        <translation>연결되지 않음</translation>
    </message>
    <message>
        <source>Not Formated, Total %1%2</source>
        <translation>포맷되지 않음, 전체 %1%2</translation>
    </message>
    <message>
        <source>Read Only - Total %1%2,  Remain %3%4,  %5 File(s), %6 Directory(s)</source>
        <translation>읽기 전용 - 전체 %1%2,  남은 공간 %3%4,  파일 %5개, 디렉터리 %6개</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>새 폴더</translation>
    </message>
    <message>
        <source>Mp3 files(*.mp3)</source>
        <translation>MP3 파일(*.mp3)</translation>
    </message>
    <message>
        <source>All files(*.*)</source>
        <translation>모든 파일(*.*)</translation>
    </message>
    <message>
        <source>Confirm file deleting</source>
        <translation>파일 삭제 확인</translation>
    </message>
    <message>
        <source>Would delete file %1 ?</source>
        <translation>%1 파일을 삭제하시겠습니까?</translation>
    </message>
    <message>
        <source>Would you delete the selected file?</source>
        <translation>선택한 파일을 삭제하시겠습니까?</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>포맷</translation>
    </message>
    <message>
        <source>Low Level Format</source>
        <translation>로우 레벨 포맷</translation>
    </message>
    <message>
        <source>All file will be deleted.
Are you sure?</source>
        <translation>모든 파일이 삭제됩니다.
계속하시겠습니까?</translation>
    </message>
    <message>
        <source>Codec Upgrade</source>
        <translation>코덱 업그레이드</translation>
    </message>
    <message>
        <source>Intel Hex File(*.hex)
*.hex
All Files(*.*)
*.*

</source>
        <translation>인텔 HEX 파일(*.hex)
*.hex
모든 파일(*.*)
*.*

</translation>
    </message>
    <message>
        <source>Boot Code Upgrade</source>
        <translation>부트 코드 업그레이드</translation>
    </message>
    <message>
        <source>ROM upagde was succeeded.</source>
        <translation>ROM 업그레이드에 성공했습니다.</translation>
    </message>
    <message>
        <source>ROM upgrade was failed.</source>
        <translation>ROM 업그레이드에 실패했습니다.</translation>
    </message>
    <message>
        <source>Bitmap font(*.fot)
*.fot
All Files(*.*)
*.*

</source>
        <translation>비트맵 글꼴(*.fot)
*.fot
모든 파일(*.*)
*.*

</translation>
    </message>
    <message>
        <source>LCD UNICODE Font Download</source>
        <translation>LCD 유니코드 글꼴 다운로드</translation>
    </message>
    <message>
        <source>Please, Unplug USB connector!</source>
        <translation>USB 케이블을 뽑아 주십시오!</translation>
    </message>
    <message>
        <source>Please restart this program~</source>
        <translation>프로그램을 다시 시작해 주십시오~</translation>
    </message>
    <message>
        <source>Setting Timeout</source>
        <translation>제한 시간 설정</translation>
    </message>
    <message>
        <source>ROM Selection</source>
        <translation>ROM 선택</translation>
    </message>
    <message>
        <source>ADPCM Configuration</source>
        <translation>ADPCM 설정</translation>
    </message>
    <message>
        <source>Raw Data Read Configuration</source>
        <translation>원시 데이터 읽기 설정</translation>
    </message>
    <message>
        <source>BVF Configuration</source>
        <translation>BVF 설정</translation>
    </message>
    <message>
        <source>Firmware Version</source>
        <translation>펌웨어 버전</translation>
    </message>
    <message>
        <source>TuneDeck</source>
        <translation>TuneDeck</translation>
    </message>
    <message>
        <source>ZVC450 is not Connected.</source>
        <translation>ZVC450이 연결되어 있지 않습니다.</translation>
    </message>
    <message>
        <source>BRIGHTFEN ZVC450 FILE SYSTEM JAN 30 2002 99:99:99 9.9 ???</source>
        <translation>BRIGHTFEN ZVC450 FILE SYSTEM JAN 30 2002 99:99:99 9.9 ???</translation>
    </message>
    <message>
        <source>Unknown Firmware Version</source>
        <translation>알 수 없는 펌웨어 버전</translation>
    </message>
    <message>
        <source>CAP</source>
        <translation>CAP</translation>
    </message>
    <message>
        <source>NUM</source>
        <translation>NUM</translation>
    </message>
    <message>
        <source>SCRL</source>
        <translation>SCRL</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>준비</translation>
    </message>
    <message>
        <source>Cannot download/upload the directory.</source>
        <translation>디렉터리는 다운로드/업로드할 수 없습니다.</translation>
    </message>
    <message>
        <source>Already exist the file.
Will you overwrite?</source>
        <translation>같은 이름의 파일이 이미 있습니다.
덮어쓰시겠습니까?</translation>
    </message>
    <message>
        <source>The copy of %1 on the player differs from the file at byte %2.
It was removed from the player.</source>
        <translation>플레이어에 있는 %1의 사본이 %2번째 바이트에서 원본과 다릅니다.
플레이어에서 삭제했습니다.</translation>
    </message>
    <message>
        <source>The player does not list the copy of %1, so it cannot be verified.</source>
        <translation>플레이어 목록에 %1의 사본이 없어 검증할 수 없습니다.</translation>
    </message>
    <message>
        <source>The copy of %1 did not reach the player whole.
The incomplete file %2 was deleted from the player.</source>
        <translation>%1이(가) 플레이어에 완전히 복사되지 않았습니다.
불완전한 파일 %2은(는) 플레이어에서 삭제했습니다.</translation>
    </message>
    <message>
        <source>The copy of %1 did not reach the player whole.
The incomplete file %2 may still be on the player: delete it there once the player answers again.</source>
        <translation>%1이(가) 플레이어에 완전히 복사되지 않았습니다.
불완전한 파일 %2이(가) 플레이어에 남아 있을 수 있습니다. 플레이어가 다시 응답하면 삭제하십시오.</translation>
    </message>
    <message>
        <source>The player was busy with another operation.
What was asked of it meanwhile was not done; please try again.</source>
        <translation>플레이어가 다른 작업을 하고 있었습니다.
그동안 요청한 작업은 실행되지 않았습니다. 다시 시도해 주십시오.</translation>
    </message>
    <message>
        <source>Raw Data Filename or Range was not specified.</source>
        <translation>원시 데이터 파일 이름 또는 범위가 지정되지 않았습니다.</translation>
    </message>
    <message>
        <source>Raw Data Range was exceeded.</source>
        <translation>원시 데이터 범위를 벗어났습니다.</translation>
    </message>
    <message>
        <source>Put the files of this directory in order by name?
The player plays them in this order.</source>
        <translation>이 디렉터리의 파일을 이름순으로 정렬하시겠습니까?
플레이어는 이 순서대로 재생합니다.</translation>
    </message>
    <message>
        <source>Put the files of this directory in natural order, numbers by their value (2 before 10)?
The player plays them in this order.</source>
        <translation>이 디렉터리의 파일을 자연순(숫자는 값의 크기순, 2가 10보다 앞)으로 정렬하시겠습니까?
플레이어는 이 순서대로 재생합니다.</translation>
    </message>
    <message>
        <source>No sound was found in the recording &quot;%1&quot;:
%2 is empty.</source>
        <translation>녹음 &quot;%1&quot;에서 소리를 찾지 못했습니다:
%2은(는) 비어 있습니다.</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>... 외 %1개</translation>
    </message>
    <message>
        <source>The player cannot store the character %1 in a name:</source>
        <translation>플레이어는 이름에 %1 문자를 저장할 수 없습니다:</translation>
    </message>
    <message>
        <source>The player cannot store the characters %1 in a name:</source>
        <translation>플레이어는 이름에 %1 문자를 저장할 수 없습니다:</translation>
    </message>
    <message>
        <source>Store the copy with &quot;_&quot; in its place?
(No leaves this file out, Cancel sends nothing.)</source>
        <translation>이 문자를 &quot;_&quot;로 바꾸어 저장하시겠습니까?
(아니요: 이 파일은 건너뜁니다. 취소: 아무것도 보내지 않습니다.)</translation>
    </message>
    <message>
        <source>Store the copy with &quot;_&quot; in their place?
(No leaves this file out, Cancel sends nothing.)</source>
        <translation>이 문자들을 &quot;_&quot;로 바꾸어 저장하시겠습니까?
(아니요: 이 파일은 건너뜁니다. 취소: 아무것도 보내지 않습니다.)</translation>
    </message>
    <message>
        <source>Store the copies with &quot;_&quot; in its place?
(No leaves these files out, Cancel sends nothing.)</source>
        <translation>이 문자를 &quot;_&quot;로 바꾸어 저장하시겠습니까?
(아니요: 이 파일들은 건너뜁니다. 취소: 아무것도 보내지 않습니다.)</translation>
    </message>
    <message>
        <source>Store the copies with &quot;_&quot; in their place?
(No leaves these files out, Cancel sends nothing.)</source>
        <translation>이 문자들을 &quot;_&quot;로 바꾸어 저장하시겠습니까?
(아니요: 이 파일들은 건너뜁니다. 취소: 아무것도 보내지 않습니다.)</translation>
    </message>
    <message>
        <source>The image is empty.</source>
        <translation>이미지가 비어 있습니다.</translation>
    </message>
    <message>
        <source>The image has %1 bytes; the boot area holds at most %2.</source>
        <translation>이미지의 크기는 %1바이트이지만 부트 영역에는 최대 %2바이트만 들어갑니다.</translation>
    </message>
    <message>
        <source>The image has %1 bytes; the application area holds at most %2.</source>
        <translation>이미지의 크기는 %1바이트이지만 응용 영역에는 최대 %2바이트만 들어갑니다.</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <comment>the last of several characters</comment>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>, </source>
        <comment>between characters</comment>
        <translation>, </translation>
    </message>
    <message>
        <source>&quot;.&quot; and &quot;..&quot; stand for a folder itself and the one above it; they cannot be names.</source>
        <translation>&quot;.&quot;과 &quot;..&quot;은 폴더 자신과 상위 폴더를 뜻하므로 이름으로 쓸 수 없습니다.</translation>
    </message>
    <message>
        <source>A name cannot be blank.</source>
        <translation>이름은 비워 둘 수 없습니다.</translation>
    </message>
    <message>
        <source>The player cannot store the character %1 in a name.</source>
        <translation>플레이어는 이름에 %1 문자를 저장할 수 없습니다.</translation>
    </message>
    <message>
        <source>The player cannot store the characters %1 in a name.</source>
        <translation>플레이어는 이름에 %1 문자를 저장할 수 없습니다.</translation>
    </message>
    <message>
        <source>A name on the player cannot end in a dot or a space.</source>
        <translation>플레이어의 이름은 마침표나 공백으로 끝날 수 없습니다.</translation>
    </message>
    <message>
        <source>The file will be moved to the trash.</source>
        <translation>파일을 휴지통으로 옮깁니다.</translation>
    </message>
    <message>
        <source>The files will be moved to the trash.</source>
        <translation>파일들을 휴지통으로 옮깁니다.</translation>
    </message>
    <message>
        <source>The file will be deleted for good: it cannot be recovered.</source>
        <translation>파일이 완전히 삭제되며 되살릴 수 없습니다.</translation>
    </message>
    <message>
        <source>The files will be deleted for good: they cannot be recovered.</source>
        <translation>파일들이 완전히 삭제되며 되살릴 수 없습니다.</translation>
    </message>
    <message>
        <source>The player has no trash: deleted files cannot be recovered.</source>
        <translation>플레이어에는 휴지통이 없으므로 삭제한 파일은 되살릴 수 없습니다.</translation>
    </message>
    <message>
        <source>%1 cannot be moved to the trash.
Delete it for good? It cannot be recovered.</source>
        <translation>%1 파일을 휴지통으로 옮길 수 없습니다.
완전히 삭제하시겠습니까? 되살릴 수 없습니다.</translation>
    </message>
    <message>
        <source>The files on the clipboard were copied in %1 on the player, which its pane no longer shows.
Open that directory on the player and paste again.</source>
        <translation>클립보드의 파일은 플레이어의 %1 디렉터리에서 복사되었지만, 지금 창에는 그 디렉터리가 표시되지 않습니다.
플레이어에서 그 디렉터리를 연 다음 다시 붙여넣으십시오.</translation>
    </message>
    <message>
        <source>The files on the clipboard are no longer on the player.</source>
        <translation>클립보드의 파일이 더 이상 플레이어에 없습니다.</translation>
    </message>
</context>
<context>
    <name>ZVC450USB</name>
    <message>
        <source>Uploading...</source>
        <translation>업로드 중...</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>다운로드 중</translation>
    </message>
    <message>
        <source>Formating...</source>
        <translation>포맷 중...</translation>
    </message>
    <message>
        <source>Low Level Formating...</source>
        <translation>로우 레벨 포맷 중...</translation>
    </message>
    <message>
        <source>Font Uploading...</source>
        <translation>글꼴 업로드 중...</translation>
    </message>
    <message>
        <source>Font Downloading....</source>
        <translation>글꼴 다운로드 중....</translation>
    </message>
    <message>
        <source>Boot Code Upgrade</source>
        <translation>부트 코드 업그레이드</translation>
    </message>
    <message>
        <source>Codec Upgrade</source>
        <translation>코덱 업그레이드</translation>
    </message>
    <message>
        <source>Boot Area Erasing...</source>
        <translation>부트 영역 지우는 중...</translation>
    </message>
    <message>
        <source>Codec Area Erasing...</source>
        <translation>코덱 영역 지우는 중...</translation>
    </message>
    <message>
        <source>Wait about 20 seconds....</source>
        <translation>약 20초 기다려 주십시오....</translation>
    </message>
    <message>
        <source>Converting... (BVF -&gt; WAV)</source>
        <translation>변환 중... (BVF -&gt; WAV)</translation>
    </message>
    <message>
        <source>Verifying...</source>
        <translation>검증 중...</translation>
    </message>
    <message>
        <source>Deleting...</source>
        <translation>삭제 중...</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>포맷</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>오류</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>취소(&amp;C)</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>속도</translation>
    </message>
</context>
</TS>
