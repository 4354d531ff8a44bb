<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>BootloaderText</name>
    <message>
        <source>当前串口号 COM%1 已经被占用，或其它错误 ！<byte value="xd"/>请选择其它串口，或检查串口设置是否正确。</source>
        <translation>Port COM%1 is in use, or another error !<byte value="xd"/>Choose another port, or check the port settings.</translation>
    </message>
    <message>
        <source>正在查找设备。。。</source>
        <translation>Looking for the device...</translation>
    </message>
    <message>
        <source>已成功连接</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>无法和设备通讯，请重新尝试</source>
        <translation>No answer from the device, try again</translation>
    </message>
    <message>
        <source>正在擦除。。。</source>
        <translation>Erasing...</translation>
    </message>
    <message>
        <source>写进度: </source>
        <translation>Written: </translation>
    </message>
    <message>
        <source>上载完成！</source>
        <translation>Uploaded! </translation>
    </message>
    <message>
        <source>连机失败！请检查通信线。</source>
        <translation>Connection failed! Check the cable.</translation>
    </message>
    <message>
        <source>串口错误</source>
        <translation>Port error</translation>
    </message>
    <message>
        <source>模块已复位，未运行请重新上电。</source>
        <translation>Module reset; if idle, power it up again.</translation>
    </message>
    <message>
        <source>模块程序不完整！请重新更新固件。</source>
        <translation>Program incomplete! Update the firmware again.</translation>
    </message>
</context>
<context>
    <name>ComPorts</name>
    <message>
        <source>%1 → %2（VR7C_%1，现在不存在）</source>
        <translation>%1 → %2 (VR7C_%1, absent now)</translation>
    </message>
    <message>
        <source>%1 → %2（VR7C_%1）</source>
        <translation>%1 → %2 (VR7C_%1)</translation>
    </message>
    <message>
        <source>%1 → %2（网络线路）</source>
        <translation>%1 → %2 (network line)</translation>
    </message>
    <message>
        <source>%1 → 没有插入设备</source>
        <translation>%1 → no device plugged in</translation>
    </message>
    <message>
        <source>（COM1 至 COM8 都已分给其它适配器）</source>
        <translation> (COM1 to COM8 are all given to other adapters)</translation>
    </message>
</context>
<context>
    <name>ConfigBlock</name>
    <message>
        <source>热电偶温度</source>
        <translation>Thermocouple</translation>
    </message>
    <message>
        <source>PT100温度</source>
        <translation>PT100</translation>
    </message>
    <message>
        <source>称重传感器</source>
        <translation>Load cell</translation>
    </message>
    <message>
        <source>零级</source>
        <translation>Level 0</translation>
    </message>
    <message>
        <source>一级</source>
        <translation>Level 1</translation>
    </message>
    <message>
        <source>二级</source>
        <translation>Level 2</translation>
    </message>
    <message>
        <source>三级</source>
        <translation>Level 3</translation>
    </message>
    <message>
        <source>四级</source>
        <translation>Level 4</translation>
    </message>
    <message>
        <source>五级</source>
        <translation>Level 5</translation>
    </message>
    <message>
        <source>六级</source>
        <translation>Level 6</translation>
    </message>
    <message>
        <source>七级</source>
        <translation>Level 7</translation>
    </message>
    <message>
        <source>八级</source>
        <translation>Level 8</translation>
    </message>
    <message>
        <source>九级</source>
        <translation>Level 9</translation>
    </message>
    <message>
        <source>一个</source>
        <translation>One</translation>
    </message>
    <message>
        <source>二个</source>
        <translation>Two</translation>
    </message>
    <message>
        <source>三个</source>
        <translation>Three</translation>
    </message>
    <message>
        <source>四个</source>
        <translation>Four</translation>
    </message>
    <message>
        <source>五个</source>
        <translation>Five</translation>
    </message>
    <message>
        <source>六个</source>
        <translation>Six</translation>
    </message>
    <message>
        <source>输入量程</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>采样速率</source>
        <translation>Sampling</translation>
    </message>
    <message>
        <source>换算模式</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>热电偶类</source>
        <translation>TC type</translation>
    </message>
    <message>
        <source>单位:g</source>
        <translation>Unit: g</translation>
    </message>
    <message>
        <source>温度补偿</source>
        <translation>Temp. offset</translation>
    </message>
    <message>
        <source>单位:0.1度</source>
        <translation>Unit: 0.1 °C</translation>
    </message>
    <message>
        <source>模块站号</source>
        <translation>Station no.</translation>
    </message>
    <message>
        <source>CAN波特率</source>
        <translation>CAN baud</translation>
    </message>
    <message>
        <source>485波特率</source>
        <translation>485 baud</translation>
    </message>
    <message>
        <source>发送抑制</source>
        <translation>Tx suppress</translation>
    </message>
    <message>
        <source>单位:ms</source>
        <translation>Unit: ms</translation>
    </message>
    <message>
        <source>滤波等级</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>通道选择</source>
        <translation>Channels</translation>
    </message>
    <message>
        <source>485格式</source>
        <translation>485 frame</translation>
    </message>
</context>
<context>
    <name>ConfigPanel</name>
    <message>
        <source>标定到模块</source>
        <translation>To module</translation>
    </message>
    <message>
        <source>寄存器 %1 已写入，</source>
        <translation>register %1 written, </translation>
    </message>
    <message>
        <source>寄存器 %1 至 %2 已写入，</source>
        <translation>registers %1 to %2 written, </translation>
    </message>
    <message>
        <source>标定未完成：%1寄存器 %2 写入失败，%2 至 %3 未写入 ！</source>
        <translation>Configuration not complete: %1register %2 failed, %2 to %3 not written !</translation>
    </message>
</context>
<context>
    <name>CounterText</name>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>（代码 </source>
        <translation> (code </translation>
    </message>
    <message>
        <source>）</source>
        <translation>)</translation>
    </message>
    <message>
        <source>%1 / %2（%3%）</source>
        <translation>%1 / %2 (%3%)</translation>
    </message>
    <message>
        <source>读请求</source>
        <translation>Read requests</translation>
    </message>
    <message>
        <source>正确回复</source>
        <translation>Good replies</translation>
    </message>
    <message>
        <source>超时（无任何字节）</source>
        <translation>Timeouts (no byte at all)</translation>
    </message>
    <message>
        <source>不完整回复</source>
        <translation>Incomplete replies</translation>
    </message>
    <message>
        <source>CRC 错误</source>
        <translation>CRC errors</translation>
    </message>
    <message>
        <source>他站或他功能码回复</source>
        <translation>Replies from another station or function</translation>
    </message>
    <message>
        <source>异常回复</source>
        <translation>Exception replies</translation>
    </message>
    <message>
        <source>回复前多余字节</source>
        <translation>Extra bytes before replies</translation>
    </message>
    <message>
        <source>回复后多余字节</source>
        <translation>Extra bytes after replies</translation>
    </message>
    <message>
        <source>回显不符</source>
        <translation>Echo mismatches</translation>
    </message>
    <message>
        <source>写入一次成功</source>
        <translation>Writes at the first attempt</translation>
    </message>
    <message>
        <source>重试后写入成功</source>
        <translation>Writes after retries</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>Writes failed</translation>
    </message>
    <message>
        <source>连接断开</source>
        <translation>Connection drops</translation>
    </message>
    <message>
        <source>响应时间 ms（最小/平均/95%/最大）</source>
        <translation>Response time ms (min/mean/95%/max)</translation>
    </message>
    <message>
        <source>正确轮询 次/秒（周期上限）</source>
        <translation>Good polls per second (cycle limit)</translation>
    </message>
</context>
<context>
    <name>LineDiagnostics</name>
    <message>
        <source>报文监视...</source>
        <translation>Traffic monitor...</translation>
    </message>
    <message>
        <source>通信计数...</source>
        <translation>Line counters...</translation>
    </message>
</context>
<context>
    <name>LiveGrid</name>
    <message>
        <source>采集电压(mV)</source>
        <translation>Input (mV)</translation>
    </message>
    <message>
        <source>对应重量(KG)</source>
        <translation>Weight (KG)</translation>
    </message>
    <message>
        <source>采集电阻(Ω)</source>
        <translation>Input (Ω)</translation>
    </message>
    <message>
        <source>对应温度(℃)</source>
        <translation>Temp. (℃)</translation>
    </message>
    <message>
        <source>AD通道号(+-)</source>
        <translation>Channel (+-)</translation>
    </message>
    <message>
        <source>设定温度(℃)</source>
        <translation>Set temp.(℃)</translation>
    </message>
    <message>
        <source>控制输出(.%)</source>
        <translation>Output (.%)</translation>
    </message>
</context>
<context>
    <name>OpenFailure</name>
    <message>
        <source>进程 %1（%2）</source>
        <translation>process %1 (%2)</translation>
    </message>
    <message>
        <source>原因：盲文显示服务 brltty（%1）把 CH34x 适配器（1a86:7523）当作盲文显示器占用了。
处理：不用盲文显示器时执行 sudo systemctl mask brltty-udev.service brltty.service（或 sudo apt remove brltty），然后重新插入适配器。</source>
        <translation>Cause: the braille display service brltty (%1) has taken the CH34x adapter (1a86:7523) for a braille display.
Remedy: without a braille display, run sudo systemctl mask brltty-udev.service brltty.service (or sudo apt remove brltty), then plug the adapter in again.</translation>
    </message>
    <message>
        <source>原因：ModemManager（%1）正在探测这个设备，把它当作调制解调器。
处理：插入后等几秒钟再连接；长久的办法是 sudo systemctl disable --now ModemManager，或为这个适配器加一条 udev 规则 ENV{ID_MM_DEVICE_IGNORE}=&quot;1&quot;。</source>
        <translation>Cause: ModemManager (%1) is probing this device as a modem.
Remedy: wait a few seconds after plugging it in before connecting; for good, sudo systemctl disable --now ModemManager, or a udev rule ENV{ID_MM_DEVICE_IGNORE}=&quot;1&quot; for this adapter.</translation>
    </message>
    <message>
        <source>原因：%1 没有对应的设备（没有插入适配器）。</source>
        <translation>Cause: %1 has no device (no adapter plugged in).</translation>
    </message>
    <message>
        <source>原因：%1 对应的设备 %2 不存在。</source>
        <translation>Cause: the device %2 of %1 does not exist.</translation>
    </message>
    <message>
        <source>
本机现在没有任何串口设备。
处理：插入 USB 串口适配器后再连接。</source>
        <translation>
This machine has no serial device now.
Remedy: plug in a USB serial adapter, then connect.</translation>
    </message>
    <message>
        <source>
现有的串口：%1。
处理：插入适配器，或选择现有的串口。</source>
        <translation>
Serial ports present: %1.
Remedy: plug the adapter in, or choose a port that is present.</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>原因：没有使用 %1 的权限，它属于 %2 组。
</source>
        <translation>Cause: no permission to use %1; it belongs to the group %2.
</translation>
    </message>
    <message>
        <source>处理：当前用户已在 %1 组中，但本次登录还没有生效：注销后重新登录。</source>
        <translation>Remedy: the user is in the group %1, but not yet in this login session: log out and in again.</translation>
    </message>
    <message>
        <source>处理：执行 sudo usermod -aG %1 $USER，然后注销并重新登录（新的登录后才生效）。</source>
        <translation>Remedy: run sudo usermod -aG %1 $USER, then log out and in again (it takes effect with the new login).</translation>
    </message>
    <message>
        <source>原因：%1 正被其它程序占用：%2。
处理：关闭该程序后再连接。</source>
        <translation>Cause: %1 is in use by another program: %2.
Remedy: close that program, then connect.</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>原因：%1 正被其它程序占用（找不到是哪个程序，可能属于其它用户）。
处理：关闭使用串口的其它程序后再连接。</source>
        <translation>Cause: %1 is in use by another program (not found which; it may belong to another user).
Remedy: close the other programs using serial ports, then connect.</translation>
    </message>
    <message>
        <source>原因不明：%1 存在且有权限使用，打开仍然失败。
处理：检查串口设置，或拔下适配器再重新插入。</source>
        <translation>Cause unknown: %1 exists and may be used, yet opening it failed.
Remedy: check the port settings, or unplug the adapter and plug it in again.</translation>
    </message>
    <message>
        <source>原因：%1 上的服务不支持 RFC 2217（串口控制）。
处理：改用 tcp://，或在串口服务器上启用 RFC 2217。</source>
        <translation>Cause: the service at %1 does not support RFC 2217 (serial port control).
Remedy: use tcp:// instead, or enable RFC 2217 on the serial server.</translation>
    </message>
    <message>
        <source>原因：%1 拒绝了连接（该端口上没有服务）。
处理：检查串口服务器的地址、端口号，以及它是否已启动。</source>
        <translation>Cause: %1 refused the connection (no service on that port).
Remedy: check the serial server&apos;s address and port, and that it is running.</translation>
    </message>
    <message>
        <source>原因：没有到 %1 的网络路径。
处理：检查网络连接和地址。</source>
        <translation>Cause: no network route to %1.
Remedy: check the network connection and the address.</translation>
    </message>
    <message>
        <source>原因：找不到主机名 %1。
处理：检查主机名，或改用 IP 地址。</source>
        <translation>Cause: host name %1 not found.
Remedy: check the host name, or use the IP address.</translation>
    </message>
    <message>
        <source>原因：%1 在 3 秒内没有应答。
处理：检查服务器是否开机、网络是否接通、防火墙是否放行该端口。</source>
        <translation>Cause: %1 did not answer within 3 s.
Remedy: check that the server is on, the network connected and the port let through the firewall.</translation>
    </message>
    <message>
        <source>原因：连接 %1 失败（错误 %2）。</source>
        <translation>Cause: connecting to %1 failed (error %2).</translation>
    </message>
</context>
<context>
    <name>RegisterGrid</name>
    <message>
        <source>全部寄存器监控  4x00%1 : %2</source>
        <translation>All registers  4x00%1 : %2</translation>
    </message>
    <message>
        <source>30~83 可双击修改数据
70~83 设置，必须点击“标定到模块”才保存</source>
        <translation>30~83: double-click to change the value
70~83 are settings: the module keeps them only after “To module”</translation>
    </message>
    <message>
        <source>元件编号</source>
        <translation>Reg.</translation>
    </message>
</context>
<context>
    <name>RegisterMap</name>
    <message>
        <source>AD0检测温度值</source>
        <translation>AD0 measured value</translation>
    </message>
    <message>
        <source>AD1检测温度值</source>
        <translation>AD1 measured value</translation>
    </message>
    <message>
        <source>AD2检测温度值</source>
        <translation>AD2 measured value</translation>
    </message>
    <message>
        <source>AD3检测温度值</source>
        <translation>AD3 measured value</translation>
    </message>
    <message>
        <source>AD4检测温度值</source>
        <translation>AD4 measured value</translation>
    </message>
    <message>
        <source>AD5检测温度值</source>
        <translation>AD5 measured value</translation>
    </message>
    <message>
        <source>AD芯片异常=55</source>
        <translation>A/D chip fault=55</translation>
    </message>
    <message>
        <source>主站心跳</source>
        <translation>Master heartbeat</translation>
    </message>
    <message>
        <source>从站心跳</source>
        <translation>Slave heartbeat</translation>
    </message>
    <message>
        <source>AD0-AD5输出状态(bit)</source>
        <translation>AD0-AD5 output state(bit)</translation>
    </message>
    <message>
        <source>冷端温度值</source>
        <translation>Cold-junction temperature</translation>
    </message>
    <message>
        <source>程序版本</source>
        <translation>Program version</translation>
    </message>
    <message>
        <source>AD0电压值L</source>
        <translation>AD0 acquired value L</translation>
    </message>
    <message>
        <source>AD0电压值H</source>
        <translation>AD0 acquired value H</translation>
    </message>
    <message>
        <source>AD1电压值L</source>
        <translation>AD1 acquired value L</translation>
    </message>
    <message>
        <source>AD1电压值H</source>
        <translation>AD1 acquired value H</translation>
    </message>
    <message>
        <source>AD2电压值L</source>
        <translation>AD2 acquired value L</translation>
    </message>
    <message>
        <source>AD2电压值H</source>
        <translation>AD2 acquired value H</translation>
    </message>
    <message>
        <source>AD3电压值L</source>
        <translation>AD3 acquired value L</translation>
    </message>
    <message>
        <source>AD3电压值H</source>
        <translation>AD3 acquired value H</translation>
    </message>
    <message>
        <source>AD4电压值L</source>
        <translation>AD4 acquired value L</translation>
    </message>
    <message>
        <source>AD4电压值H</source>
        <translation>AD4 acquired value H</translation>
    </message>
    <message>
        <source>AD5电压值L</source>
        <translation>AD5 acquired value L</translation>
    </message>
    <message>
        <source>AD5电压值H</source>
        <translation>AD5 acquired value H</translation>
    </message>
    <message>
        <source>AD0控制输出%</source>
        <translation>AD0 control output %</translation>
    </message>
    <message>
        <source>AD1控制输出%</source>
        <translation>AD1 control output %</translation>
    </message>
    <message>
        <source>AD2控制输出%</source>
        <translation>AD2 control output %</translation>
    </message>
    <message>
        <source>AD3控制输出%</source>
        <translation>AD3 control output %</translation>
    </message>
    <message>
        <source>AD4控制输出%</source>
        <translation>AD4 control output %</translation>
    </message>
    <message>
        <source>AD5控制输出%</source>
        <translation>AD5 control output %</translation>
    </message>
    <message>
        <source>TC0温度设置值</source>
        <translation>TC0 temperature set point</translation>
    </message>
    <message>
        <source>TC1温度设置值</source>
        <translation>TC1 temperature set point</translation>
    </message>
    <message>
        <source>TC2温度设置值</source>
        <translation>TC2 temperature set point</translation>
    </message>
    <message>
        <source>TC3温度设置值</source>
        <translation>TC3 temperature set point</translation>
    </message>
    <message>
        <source>TC4温度设置值</source>
        <translation>TC4 temperature set point</translation>
    </message>
    <message>
        <source>TC5温度设置值</source>
        <translation>TC5 temperature set point</translation>
    </message>
    <message>
        <source>TC0温度P值</source>
        <translation>TC0 temperature P term</translation>
    </message>
    <message>
        <source>TC1温度P值</source>
        <translation>TC1 temperature P term</translation>
    </message>
    <message>
        <source>TC2温度P值</source>
        <translation>TC2 temperature P term</translation>
    </message>
    <message>
        <source>TC3温度P值</source>
        <translation>TC3 temperature P term</translation>
    </message>
    <message>
        <source>TC4温度P值</source>
        <translation>TC4 temperature P term</translation>
    </message>
    <message>
        <source>TC5温度P值</source>
        <translation>TC5 temperature P term</translation>
    </message>
    <message>
        <source>TC0温度I值</source>
        <translation>TC0 temperature I term</translation>
    </message>
    <message>
        <source>TC1温度I值</source>
        <translation>TC1 temperature I term</translation>
    </message>
    <message>
        <source>TC2温度I值</source>
        <translation>TC2 temperature I term</translation>
    </message>
    <message>
        <source>TC3温度I值</source>
        <translation>TC3 temperature I term</translation>
    </message>
    <message>
        <source>TC4温度I值</source>
        <translation>TC4 temperature I term</translation>
    </message>
    <message>
        <source>TC5温度I值</source>
        <translation>TC5 temperature I term</translation>
    </message>
    <message>
        <source>Y0~Y5候选值(bit)</source>
        <translation>Y0~Y5 candidate values(bit)</translation>
    </message>
    <message>
        <source>Y0~Y5输出状态</source>
        <translation>Y0~Y5 output state</translation>
    </message>
    <message>
        <source>备用</source>
        <translation>Spare</translation>
    </message>
    <message>
        <source>TC0温度D值</source>
        <translation>TC0 temperature D term</translation>
    </message>
    <message>
        <source>TC1温度D值</source>
        <translation>TC1 temperature D term</translation>
    </message>
    <message>
        <source>TC2温度D值</source>
        <translation>TC2 temperature D term</translation>
    </message>
    <message>
        <source>TC3温度D值</source>
        <translation>TC3 temperature D term</translation>
    </message>
    <message>
        <source>TC4温度D值</source>
        <translation>TC4 temperature D term</translation>
    </message>
    <message>
        <source>TC5温度D值</source>
        <translation>TC5 temperature D term</translation>
    </message>
    <message>
        <source>AD0.PT100线阻补偿</source>
        <translation>AD0.PT100 lead compensation</translation>
    </message>
    <message>
        <source>AD1.PT100线阻补偿</source>
        <translation>AD1.PT100 lead compensation</translation>
    </message>
    <message>
        <source>AD2.PT100线阻补偿</source>
        <translation>AD2.PT100 lead compensation</translation>
    </message>
    <message>
        <source>AD3.PT100线阻补偿</source>
        <translation>AD3.PT100 lead compensation</translation>
    </message>
    <message>
        <source>AD4.PT100线阻补偿</source>
        <translation>AD4.PT100 lead compensation</translation>
    </message>
    <message>
        <source>AD5.PT100线阻补偿</source>
        <translation>AD5.PT100 lead compensation</translation>
    </message>
    <message>
        <source>Y输出选择(0-3)</source>
        <translation>Y output selection(0-3)</translation>
    </message>
    <message>
        <source>PWM输出选择</source>
        <translation>PWM output selection</translation>
    </message>
</context>
<context>
    <name>StatusLineEntry</name>
    <message>
        <source>未连接</source>
        <translation>not connected</translation>
    </message>
    <message>
        <source>应答正常</source>
        <translation>replying</translation>
    </message>
    <message>
        <source>1分钟内错误 %1</source>
        <translation>%1 errors in 1 min</translation>
    </message>
    <message>
        <source>无应答 %1 秒</source>
        <translation>silent %1 s</translation>
    </message>
    <message>
        <source>轮询暂停</source>
        <translation>polling held</translation>
    </message>
    <message>
        <source>&lt;a style=&quot;color:#0000ff&quot;&gt;线路&lt;/a&gt;：&lt;span style=&quot;color:%1&quot;&gt;%2&lt;/span&gt; ▾</source>
        <translation>&lt;a style=&quot;color:#0000ff&quot;&gt;Line&lt;/a&gt;: &lt;span style=&quot;color:%1&quot;&gt;%2&lt;/span&gt; ▾</translation>
    </message>
</context>
<context>
    <name>TFirmwareFrm</name>
    <message>
        <source>VR7C_20NP 固件更新</source>
        <translation>VR7C_20NP Firmware Update</translation>
    </message>
    <message>
        <source>宋体</source>
        <extracomment>The dialog&apos;s first font face</extracomment>
        <translation>Liberation Serif</translation>
    </message>
    <message>
        <source>通信端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>开始更新</source>
        <translation>Start update</translation>
    </message>
    <message>
        <source>就绪...</source>
        <translation>Ready...</translation>
    </message>
    <message>
        <source>Modbus TCP 线路不能更新固件 ！<byte value="xd"/>请改用串口服务器的 rfc2217:// 线路，或本地串口。</source>
        <translation>A Modbus TCP line cannot update firmware !<byte value="xd"/>Use an rfc2217:// line of the serial server, or a local port.</translation>
    </message>
    <message>
        <source>原因：COM%1 正由本程序的主窗口连接着。
处理：请先在主窗口断开连接，再更新固件。</source>
        <translation>Cause: COM%1 is connected by this program&apos;s main window.
Remedy: disconnect in the main window first, then update the firmware.</translation>
    </message>
</context>
<context>
    <name>TLineStatsFrm</name>
    <message>
        <source>生产统计</source>
        <translation>Line Statistics</translation>
    </message>
    <message>
        <source>测量项目</source>
        <translation>Measurement</translation>
    </message>
    <message>
        <source>直通率</source>
        <translation>First-pass yield</translation>
    </message>
    <message>
        <source>测量分布</source>
        <translation>Distribution</translation>
    </message>
    <message>
        <source>测量趋势</source>
        <translation>Over time</translation>
    </message>
    <message>
        <source>导出图片…</source>
        <translation>Export image…</translation>
    </message>
    <message>
        <source>导出图片</source>
        <translation>Export Image</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>记录无法读取: %1</source>
        <translation>The records cannot be read: %1</translation>
    </message>
    <message>
        <source>直通率 %</source>
        <translation>First-pass yield %</translation>
    </message>
    <message>
        <source>最近 %1 天的直通率</source>
        <translation>First-pass yield over the last %1 days</translation>
    </message>
    <message>
        <source>最近 %1 天没有测量记录</source>
        <translation>No measurements on record in the last %1 days</translation>
    </message>
    <message>
        <source>%1 个值  平均 %2 %3  标准差 %4  Cpk %5  限值 %6 … %7</source>
        <translation>%1 values  mean %2 %3  std. dev. %4  Cpk %5  limits %6 … %7</translation>
    </message>
    <message>
        <source>数量</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>下限</source>
        <translation>Low limit</translation>
    </message>
    <message>
        <source>上限</source>
        <translation>High limit</translation>
    </message>
    <message>
        <source>平均</source>
        <translation>Mean</translation>
    </message>
    <message>
        <source>%1 的分布 (%2)</source>
        <translation>Distribution of %1 (%2)</translation>
    </message>
    <message>
        <source>%1 随时间 (%2)</source>
        <translation>%1 over time (%2)</translation>
    </message>
    <message>
        <source>无法保存图片: %1</source>
        <translation>Cannot save the image: %1</translation>
    </message>
    <message>
        <source>本机记录</source>
        <translation>This bench</translation>
    </message>
    <message>
        <source>共享记录</source>
        <translation>Shared records</translation>
    </message>
    <message>
        <source>记录来源</source>
        <translation>Records from</translation>
    </message>
    <message>
        <source>正在读取共享记录...</source>
        <translation>Reading the shared records...</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>VR7C-20NP 测试程序 V1.50</source>
        <translation>VR7C-20NP Test Program V1.50</translation>
    </message>
    <message>
        <source>通信连接 (固件:%1)</source>
        <translation>Link (firmware:%1)</translation>
    </message>
    <message>
        <source>模块快键标定 ( 冷端温度: %1℃ )</source>
        <translation>Quick setup ( cold junction: %1℃ )</translation>
    </message>
    <message>
        <source>模块全部寄存器监控</source>
        <translation>All module registers</translation>
    </message>
    <message>
        <source>连接串口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>获取可用的端口号</source>
        <translation>The available port numbers</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud</translation>
    </message>
    <message>
        <source>产品地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>通信计数</source>
        <translation>Polls</translation>
    </message>
    <message>
        <source>连接模式</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>开始连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>固件升级</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>注册软件</source>
        <translation>Program settings</translation>
    </message>
    <message>
        <source>未知的原因，创建注册信息失败！</source>
        <translation>Creating the settings entry failed, cause unknown!</translation>
    </message>
    <message>
        <source>串口错误</source>
        <translation>Port error</translation>
    </message>
    <message>
        <source>串口、波特率或产品地址未选择 ！<byte value="xd"/>请在列表中选择后再连接。</source>
        <translation>Port, baud rate or address not chosen !<byte value="xd"/>Choose them in the lists, then connect.</translation>
    </message>
    <message>
        <source>连接未成功 ！</source>
        <translation>Connection failed !</translation>
    </message>
    <message>
        <source>当前串口号已经被占用，或其它错误 ！<byte value="xd"/>请选择其它串口，或检查串口设置是否正确。</source>
        <translation>The port is in use, or another error !<byte value="xd"/>Choose another port, or check the port settings.</translation>
    </message>
    <message>
        <source>断开连接</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>通信连接 (网络已断开)</source>
        <translation>Link (network lost)</translation>
    </message>
    <message>
        <source>通信连接 (串口已拔出)</source>
        <translation>Link (unplugged)</translation>
    </message>
    <message>
        <source>COM%1 的适配器已拔出，插回后自动重新连接</source>
        <translation>The adapter of COM%1 is unplugged; it reconnects when plugged back</translation>
    </message>
    <message>
        <source>COM%1 的网络连接已断开，服务器重新接受连接后自动重新连接</source>
        <translation>The network line of COM%1 dropped; it reconnects when the server accepts again</translation>
    </message>
    <message>
        <source>标定完毕 ！</source>
        <translation>Configuration written !</translation>
    </message>
</context>
<context>
    <name>TMonitorDf</name>
    <message>
        <source> 写寄存器 </source>
        <translation> Write Register </translation>
    </message>
    <message>
        <source> 写至模块(W) 寄存器 </source>
        <translation> Write to module (W) register </translation>
    </message>
    <message>
        <source>写入后关闭对话框</source>
        <translation>Close after writing</translation>
    </message>
    <message>
        <source>寄存器 W:</source>
        <translation>Register:</translation>
    </message>
    <message>
        <source>写入数值:</source>
        <translation>Value:</translation>
    </message>
    <message>
        <source>写入(&amp;W)</source>
        <translation>&amp;Write</translation>
    </message>
    <message>
        <source>关闭(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>通信端口未打开 ！</source>
        <translation>Port not open !</translation>
    </message>
    <message>
        <source>写入数值超出范围（-32768 至 65535） ！</source>
        <translation>Value out of range (-32768 to 65535) !</translation>
    </message>
    <message>
        <source>通信失败 ！</source>
        <translation>Communication failed !</translation>
    </message>
</context>
<context>
    <name>TPortSetupFrm</name>
    <message>
        <source>端口设置</source>
        <translation>Port Setup</translation>
    </message>
    <message>
        <source>rfc2217://主机:端口</source>
        <translation>rfc2217://host:port</translation>
    </message>
    <message>
        <source>分配</source>
        <translation>Assign</translation>
    </message>
    <message>
        <source>释放</source>
        <translation>Release</translation>
    </message>
    <message>
        <source>网络线路：</source>
        <translation>Network line:</translation>
    </message>
    <message>
        <source>请先在列表中选择端口号。</source>
        <translation>Choose a port number in the list first.</translation>
    </message>
    <message>
        <source>COM%1 已被占用，请先释放。</source>
        <translation>COM%1 is taken; release it first.</translation>
    </message>
    <message>
        <source>网址无效：应为 tcp://主机:端口、rfc2217://主机:端口或 modbus-tcp://主机[:端口]。</source>
        <translation>Invalid address: give tcp://host:port, rfc2217://host:port or modbus-tcp://host[:port].</translation>
    </message>
    <message>
        <source>COM%1 已分配。</source>
        <translation>COM%1 assigned.</translation>
    </message>
    <message>
        <source>只能释放分配给网络线路的端口号。</source>
        <translation>Only port numbers given to network lines can be released.</translation>
    </message>
    <message>
        <source>COM%1 已释放。</source>
        <translation>COM%1 released.</translation>
    </message>
</context>
<context>
    <name>TProductionFrm</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Aborted</translation>
    </message>
    <message>
        <source>记录无法写入: %1</source>
        <translation>The records cannot be written: %1</translation>
    </message>
    <message>
        <source>生产测试</source>
        <translation>Production Test</translation>
    </message>
    <message>
        <source>选择方案...</source>
        <translation>Plan...</translation>
    </message>
    <message>
        <source>扫描产品序列号, 回车开始</source>
        <translation>Scan the unit&apos;s serial number; Enter starts</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>证书 PDF...</source>
        <translation>Certificate PDF...</translation>
    </message>
    <message>
        <source>测试方案</source>
        <translation>Plan</translation>
    </message>
    <message>
        <source>测试台</source>
        <translation>Bench</translation>
    </message>
    <message>
        <source>操作员</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>工位数</source>
        <translation>Slots</translation>
    </message>
    <message>
        <source>工位%1</source>
        <translation>Slot %1</translation>
    </message>
    <message>
        <source>序列号</source>
        <translation>Serial no.</translation>
    </message>
    <message>
        <source>步骤</source>
        <translation>Step</translation>
    </message>
    <message>
        <source>测量值</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>限值</source>
        <translation>Limits</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>最近产品</source>
        <translation>Last units</translation>
    </message>
    <message>
        <source>保存证书</source>
        <translation>Save Certificate</translation>
    </message>
    <message>
        <source>PDF 文件 (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
    <message>
        <source>选择测试方案</source>
        <translation>Choose Test Plan</translation>
    </message>
    <message>
        <source>测试方案 (*.toml)</source>
        <translation>Test plans (*.toml)</translation>
    </message>
    <message>
        <source>测试方案不能使用:
%1</source>
        <translation>The plan cannot be used:
%1</translation>
    </message>
    <message>
        <source>测试方案: %1 (版本 %2), %3 步</source>
        <translation>Plan: %1 (revision %2), %3 steps</translation>
    </message>
    <message>
        <source>请先选择测试方案</source>
        <translation>Choose a test plan first</translation>
    </message>
    <message>
        <source>序列号不能使用: %1</source>
        <translation>Serial number refused: %1</translation>
    </message>
    <message>
        <source>工位%1: %2; 请扫描工位%3的序列号</source>
        <translation>Slot %1: %2; scan slot %3&apos;s serial number</translation>
    </message>
    <message>
        <source>测试中</source>
        <translation>Testing</translation>
    </message>
    <message>
        <source>没有工位能开始测试</source>
        <translation>No slot could start</translation>
    </message>
    <message>
        <source>测试中...</source>
        <translation>Testing...</translation>
    </message>
    <message>
        <source>请扫描下一件产品的序列号</source>
        <translation>Scan the next unit&apos;s serial number</translation>
    </message>
    <message>
        <source>记录无法读取: %1</source>
        <translation>The records cannot be read: %1</translation>
    </message>
    <message>
        <source>今日 %1 件
合格 %2  不合格 %3
直通率 %4%</source>
        <translation>Today %1 units
Pass %2  Fail %3
First-pass yield %4%</translation>
    </message>
    <message>
        <source>%1 的记录 (%2)</source>
        <translation>Record of %1 (%2)</translation>
    </message>
    <message>
        <source>请先在最近产品中选一件</source>
        <translation>Choose a unit in the last units first</translation>
    </message>
    <message>
        <source>证书无法写入: %1</source>
        <translation>The certificate cannot be written: %1</translation>
    </message>
    <message>
        <source>证书已写入 %1</source>
        <translation>Certificate written to %1</translation>
    </message>
    <message>
        <source>测试正在进行。中止测试并关闭窗口?</source>
        <translation>A test is running. Abort it and close the window?</translation>
    </message>
    <message>
        <source>统计...</source>
        <translation>Statistics...</translation>
    </message>
    <message>
        <source>工位%1 和工位%2 使用同一端口 %3</source>
        <translation>Slots %1 and %2 use the same port %3</translation>
    </message>
    <message>
        <source>工位%1 使用主窗口的端口 %2，暂停主窗口的连接吗？</source>
        <translation>Slot %1 uses the main window&apos;s port %2. Pause the main window&apos;s connection?</translation>
    </message>
    <message>
        <source>%1 由主窗口使用</source>
        <translation>%1 is in use by the main window</translation>
    </message>
    <message>
        <source>确认 (%1)</source>
        <translation>Confirm (%1)</translation>
    </message>
    <message>
        <source>共享记录: 已全部上传</source>
        <translation>Shared records: every run copied</translation>
    </message>
    <message>
        <source>共享记录不可用, %1 次测试在队列中等待
%2</source>
        <translation>Shared records unavailable: %1 runs wait in the queue
%2</translation>
    </message>
    <message>
        <source>测试进行中, 序列号 %1 未被接受; 请在测试结束后重新扫描</source>
        <translation>A test is running: serial number %1 was not taken; scan it again when the test has ended</translation>
    </message>
</context>
<context>
    <name>TRecorderFrm</name>
    <message>
        <source>数据记录</source>
        <translation>Data Recorder</translation>
    </message>
    <message>
        <source>选择…</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>同时记录全部原始寄存器 (4x0000..4x0099)</source>
        <translation>Also record all raw registers (4x0000..4x0099)</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <source>记录文件夹:</source>
        <translation>Record folder:</translation>
    </message>
    <message>
        <source>选择记录文件夹</source>
        <translation>Choose the record folder</translation>
    </message>
    <message>
        <source>VR7C-20NP 记录</source>
        <translation>VR7C-20NP records</translation>
    </message>
    <message>
        <source>无法创建记录文件夹 ！
%1</source>
        <translation>Cannot create the record folder !
%1</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source>正在记录: %1
已记录 %2 行</source>
        <translation>Recording: %1
%2 rows recorded</translation>
    </message>
    <message>
        <source>未在记录</source>
        <translation>Not recording</translation>
    </message>
</context>
<context>
    <name>TTrafficMonitor</name>
    <message>
        <source>通信监视 - VR7C-20NP</source>
        <translation>Traffic Monitor - VR7C-20NP</translation>
    </message>
    <message>
        <source>报文</source>
        <translation>Frames</translation>
    </message>
    <message>
        <source>计数</source>
        <translation>Counters</translation>
    </message>
    <message>
        <source>只显示错误</source>
        <translation>Errors only</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>保存为文本...</source>
        <translation>Save as text...</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>清零</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>显示 %1 帧，记录最多 %2 帧（%3 MB）</source>
        <translation>%1 frames shown, at most %2 kept (%3 MB)</translation>
    </message>
    <message>
        <source>报文-%1.txt</source>
        <translation>frames-%1.txt</translation>
    </message>
    <message>
        <source>保存报文</source>
        <translation>Save frames</translation>
    </message>
    <message>
        <source>文本文件 (*.txt)</source>
        <translation>Text files (*.txt)</translation>
    </message>
    <message>
        <source>保存失败 ！</source>
        <translation>Saving failed !</translation>
    </message>
</context>
<context>
    <name>TTrendFrm</name>
    <message>
        <source>通道趋势</source>
        <translation>Channel Trend</translation>
    </message>
    <message>
        <source>1 分钟</source>
        <translation>1 minute</translation>
    </message>
    <message>
        <source>10 分钟</source>
        <translation>10 minutes</translation>
    </message>
    <message>
        <source>1 小时</source>
        <translation>1 hour</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>显示输出百分比</source>
        <translation>Show output percent</translation>
    </message>
    <message>
        <source>导出图片…</source>
        <translation>Export image…</translation>
    </message>
    <message>
        <source>时间跨度:</source>
        <translation>Time span:</translation>
    </message>
    <message>
        <source>控制输出(%)</source>
        <translation>Control output (%)</translation>
    </message>
    <message>
        <source>AD%1 设定</source>
        <translation>AD%1 set</translation>
    </message>
    <message>
        <source>AD%1 输出</source>
        <translation>AD%1 output</translation>
    </message>
    <message>
        <source>对应重量(KG) / 设定温度(℃)</source>
        <translation>Weight (KG) / set temperature (℃)</translation>
    </message>
    <message>
        <source>温度(℃)</source>
        <translation>Temperature (℃)</translation>
    </message>
    <message>
        <source>   AD%1 %2 (设定 %3</source>
        <translation>   AD%1 %2 (set %3</translation>
    </message>
    <message>
        <source>, 输出 %1%</source>
        <translation>, output %1%</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>导出趋势图</source>
        <translation>Export trend chart</translation>
    </message>
    <message>
        <source>VR7C-20NP_趋势_%1.png</source>
        <translation>VR7C-20NP_trend_%1.png</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>无法保存图片: %1</source>
        <translation>Cannot save the image: %1</translation>
    </message>
</context>
<context>
    <name>TrafficDecoder</name>
    <message>
        <source>读 %1%2..%1%3 站 %4</source>
        <translation>read %1%2..%1%3 station %4</translation>
    </message>
    <message>
        <source>写 %1 = %2</source>
        <translation>write %1 = %2</translation>
    </message>
    <message>
        <source>功能码 %1，%2 字节</source>
        <translation>function %1, %2 bytes</translation>
    </message>
    <message>
        <source>回复 写 %1 = %2</source>
        <translation>reply write %1 = %2</translation>
    </message>
    <message>
        <source>回复 %1 字节 CRC 正确</source>
        <translation>reply %1 bytes CRC good</translation>
    </message>
    <message>
        <source>，来自 站 %1 功能码 %2</source>
        <translation>, from station %1 function %2</translation>
    </message>
    <message>
        <source>无回复</source>
        <translation>no reply</translation>
    </message>
    <message>
        <source>不完整 %1 字节</source>
        <translation>incomplete %1 bytes</translation>
    </message>
    <message>
        <source>回复过迟</source>
        <translation>reply too late</translation>
    </message>
    <message>
        <source>CRC 错误</source>
        <translation>CRC error</translation>
    </message>
    <message>
        <source>回复异常 %1</source>
        <translation>exception %1</translation>
    </message>
    <message>
        <source>多余字节 %1（在回复前）</source>
        <translation>extra bytes %1 (before the reply)</translation>
    </message>
    <message>
        <source>多余字节 %1</source>
        <translation>extra bytes %1</translation>
    </message>
    <message>
        <source>回显不符</source>
        <translation>echo mismatch</translation>
    </message>
    <message>
        <source>%1 字节</source>
        <translation>%1 bytes</translation>
    </message>
    <message>
        <source>读内存</source>
        <translation>read memory</translation>
    </message>
    <message>
        <source>写内存</source>
        <translation>write memory</translation>
    </message>
    <message>
        <source>擦除</source>
        <translation>erase</translation>
    </message>
    <message>
        <source>扩展擦除</source>
        <translation>extended erase</translation>
    </message>
    <message>
        <source>同步</source>
        <translation>sync</translation>
    </message>
    <message>
        <source>地址 %1</source>
        <translation>address %1</translation>
    </message>
    <message>
        <source>擦除 %1 页</source>
        <translation>erase %1 pages</translation>
    </message>
    <message>
        <source>读 %1 字节</source>
        <translation>read %1 bytes</translation>
    </message>
    <message>
        <source>写 %1 %2 字节</source>
        <translation>write %1 %2 bytes</translation>
    </message>
    <message>
        <source>写 %1 字节</source>
        <translation>write %1 bytes</translation>
    </message>
    <message>
        <source>不符 %1 字节</source>
        <translation>mismatch %1 bytes</translation>
    </message>
    <message>
        <source>ACK，Boot:%1.%2</source>
        <translation>ACK, Boot:%1.%2</translation>
    </message>
    <message>
        <source>ACK，ID 0x%1%2</source>
        <translation>ACK, ID 0x%1%2</translation>
    </message>
    <message>
        <source>ACK，%1 字节数据</source>
        <translation>ACK, %1 data bytes</translation>
    </message>
    <message>
        <source>正确</source>
        <translation>good</translation>
    </message>
    <message>
        <source>他站回复</source>
        <translation>other station</translation>
    </message>
    <message>
        <source>超时</source>
        <translation>timeout</translation>
    </message>
    <message>
        <source>不完整</source>
        <translation>incomplete</translation>
    </message>
    <message>
        <source>异常回复</source>
        <translation>exception</translation>
    </message>
    <message>
        <source>前有多余字节</source>
        <translation>extra before</translation>
    </message>
    <message>
        <source>多余字节</source>
        <translation>extra bytes</translation>
    </message>
    <message>
        <source>不符</source>
        <translation>mismatch</translation>
    </message>
    <message>
        <source>过迟</source>
        <translation>too late</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Tx</translation>
    </message>
    <message>
        <source>接收</source>
        <translation>Rx</translation>
    </message>
    <message>
        <source>通信</source>
        <translation>Link</translation>
    </message>
    <message>
        <source>升级</source>
        <translation>Boot</translation>
    </message>
    <message>
        <source> …</source>
        <translation> …</translation>
    </message>
    <message>
        <source>事务 %1 </source>
        <translation>Transaction %1 </translation>
    </message>
    <message>
        <source>回复 %1 字节</source>
        <translation>Reply %1 bytes</translation>
    </message>
    <message>
        <source>（网关无通路）</source>
        <translation> (gateway path unavailable)</translation>
    </message>
    <message>
        <source>（网关后的模块无回复）</source>
        <translation> (gateway target did not respond)</translation>
    </message>
</context>
<context>
    <name>TrafficTableModel</name>
    <message>
        <source>时间	线路	方向	报文	解码	结果
</source>
        <translation>Time	Line	Dir.	Frame	Decode	Result
</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>线路</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Dir.</translation>
    </message>
    <message>
        <source>报文</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>解码</source>
        <translation>Decode</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>数据记录...</source>
        <translation>Data recorder...</translation>
    </message>
    <message>
        <source>通道趋势...</source>
        <translation>Channel trend...</translation>
    </message>
    <message>
        <source>端口设置...</source>
        <translation>Port setup...</translation>
    </message>
    <message>
        <source>生产测试...</source>
        <translation>Production test...</translation>
    </message>
</context>
</TS>
