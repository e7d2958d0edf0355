#pragma once
// The XML copy of stored reports.
//
//   <Log Version="6.0.12">
//     <Doc>
//       <General>
//         <Group Name="Application">
//           <Label Number="1.1" Name="Start Date">Wed, 9 Dec 2026 ...</Label>
//       <HoToReproduce>the steps the user described</HoToReproduce>
//       <CallStack>
//         <ExceptionThread Caption="*Exception Thread: ID=...">   (other threads: <Group Caption=...>)
//           <Line Address=".." Module=".." Unit=".." Class=".." Procedure=".." Line=".."/>
//       <Modules><Module Handle Name Description Version Size Modified Path/></Modules>
//       <Processes><Process ID Name Description Version Memory Priority Threads Path/></Processes>
//       <Assembler><Line>text</Line></Assembler>
//       <Registers RAX=".." ... R15=".."/>
//       <Stack><Line Address=".." Value=".."/></Stack>
//       <MemoryDump><Line Address=".." Bytes=".." Text=".."/></MemoryDump>

#include <string>
#include <vector>

namespace crashreport {

std::string logToXml(const std::vector<std::string> &reports);

} // namespace crashreport
