-- The 1,000-line macro of BM_Compiler_TypicalMacro/1000 written in Lua 5.4,
-- statement for statement, for BM_Peer_Luac_TypicalMacro (compiled, never run).
::L0::
x1=x7*3+anPRES//4
if x2>100 then x14=0 end
box(x3,10,x3+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L0() end
y19=MulDiv(x6,5,7)
goto L0
::L1::
x9=x17*3+anPRES//4
if x10>100 then x1=0 end
box(x11,10,x11+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L1() end
y6=MulDiv(x14,5,7)
goto L1
::L2::
x17=x4*3+anPRES//4
if x18>100 then x11=0 end
box(x19,10,x19+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L2() end
y16=MulDiv(x22,5,7)
goto L2
::L3::
x2=x14*3+anPRES//4
if x3>100 then x21=0 end
box(x4,10,x4+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L3() end
y3=MulDiv(x7,5,7)
goto L3
::L4::
x10=x1*3+anPRES//4
if x11>100 then x8=0 end
box(x12,10,x12+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L4() end
y13=MulDiv(x15,5,7)
goto L4
::L5::
x18=x11*3+anPRES//4
if x19>100 then x18=0 end
box(x20,10,x20+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L5() end
y0=MulDiv(x0,5,7)
goto L5
::L6::
x3=x21*3+anPRES//4
if x4>100 then x5=0 end
box(x5,10,x5+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L6() end
y10=MulDiv(x8,5,7)
goto L6
::L7::
x11=x8*3+anPRES//4
if x12>100 then x15=0 end
box(x13,10,x13+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L7() end
y20=MulDiv(x16,5,7)
goto L7
::L8::
x19=x18*3+anPRES//4
if x20>100 then x2=0 end
box(x21,10,x21+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L8() end
y7=MulDiv(x1,5,7)
goto L8
::L9::
x4=x5*3+anPRES//4
if x5>100 then x12=0 end
box(x6,10,x6+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L9() end
y17=MulDiv(x9,5,7)
goto L9
::L10::
x12=x15*3+anPRES//4
if x13>100 then x22=0 end
box(x14,10,x14+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L10() end
y4=MulDiv(x17,5,7)
goto L10
::L11::
x20=x2*3+anPRES//4
if x21>100 then x9=0 end
box(x22,10,x22+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L11() end
y14=MulDiv(x2,5,7)
goto L11
::L12::
x5=x12*3+anPRES//4
if x6>100 then x19=0 end
box(x7,10,x7+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L12() end
y1=MulDiv(x10,5,7)
goto L12
::L13::
x13=x22*3+anPRES//4
if x14>100 then x6=0 end
box(x15,10,x15+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L13() end
y11=MulDiv(x18,5,7)
goto L13
::L14::
x21=x9*3+anPRES//4
if x22>100 then x16=0 end
box(x0,10,x0+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L14() end
y21=MulDiv(x3,5,7)
goto L14
::L15::
x6=x19*3+anPRES//4
if x7>100 then x3=0 end
box(x8,10,x8+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L15() end
y8=MulDiv(x11,5,7)
goto L15
::L16::
x14=x6*3+anPRES//4
if x15>100 then x13=0 end
box(x16,10,x16+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L16() end
y18=MulDiv(x19,5,7)
goto L16
::L17::
x22=x16*3+anPRES//4
if x0>100 then x0=0 end
box(x1,10,x1+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L17() end
y5=MulDiv(x4,5,7)
goto L17
::L18::
x7=x3*3+anPRES//4
if x8>100 then x10=0 end
box(x9,10,x9+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L18() end
y15=MulDiv(x12,5,7)
goto L18
::L19::
x15=x13*3+anPRES//4
if x16>100 then x20=0 end
box(x17,10,x17+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L19() end
y2=MulDiv(x20,5,7)
goto L19
::L20::
x0=x0*3+anPRES//4
if x1>100 then x7=0 end
box(x2,10,x2+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L20() end
y12=MulDiv(x5,5,7)
goto L20
::L21::
x8=x10*3+anPRES//4
if x9>100 then x17=0 end
box(x10,10,x10+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L21() end
y22=MulDiv(x13,5,7)
goto L21
::L22::
x16=x20*3+anPRES//4
if x17>100 then x4=0 end
box(x18,10,x18+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L22() end
y9=MulDiv(x21,5,7)
goto L22
::L23::
x1=x7*3+anPRES//4
if x2>100 then x14=0 end
box(x3,10,x3+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L23() end
y19=MulDiv(x6,5,7)
goto L23
::L24::
x9=x17*3+anPRES//4
if x10>100 then x1=0 end
box(x11,10,x11+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L24() end
y6=MulDiv(x14,5,7)
goto L24
::L25::
x17=x4*3+anPRES//4
if x18>100 then x11=0 end
box(x19,10,x19+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L25() end
y16=MulDiv(x22,5,7)
goto L25
::L26::
x2=x14*3+anPRES//4
if x3>100 then x21=0 end
box(x4,10,x4+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L26() end
y3=MulDiv(x7,5,7)
goto L26
::L27::
x10=x1*3+anPRES//4
if x11>100 then x8=0 end
box(x12,10,x12+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L27() end
y13=MulDiv(x15,5,7)
goto L27
::L28::
x18=x11*3+anPRES//4
if x19>100 then x18=0 end
box(x20,10,x20+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L28() end
y0=MulDiv(x0,5,7)
goto L28
::L29::
x3=x21*3+anPRES//4
if x4>100 then x5=0 end
box(x5,10,x5+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L29() end
y10=MulDiv(x8,5,7)
goto L29
::L30::
x11=x8*3+anPRES//4
if x12>100 then x15=0 end
box(x13,10,x13+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L30() end
y20=MulDiv(x16,5,7)
goto L30
::L31::
x19=x18*3+anPRES//4
if x20>100 then x2=0 end
box(x21,10,x21+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L31() end
y7=MulDiv(x1,5,7)
goto L31
::L32::
x4=x5*3+anPRES//4
if x5>100 then x12=0 end
box(x6,10,x6+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L32() end
y17=MulDiv(x9,5,7)
goto L32
::L33::
x12=x15*3+anPRES//4
if x13>100 then x22=0 end
box(x14,10,x14+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L33() end
y4=MulDiv(x17,5,7)
goto L33
::L34::
x20=x2*3+anPRES//4
if x21>100 then x9=0 end
box(x22,10,x22+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L34() end
y14=MulDiv(x2,5,7)
goto L34
::L35::
x5=x12*3+anPRES//4
if x6>100 then x19=0 end
box(x7,10,x7+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L35() end
y1=MulDiv(x10,5,7)
goto L35
::L36::
x13=x22*3+anPRES//4
if x14>100 then x6=0 end
box(x15,10,x15+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L36() end
y11=MulDiv(x18,5,7)
goto L36
::L37::
x21=x9*3+anPRES//4
if x22>100 then x16=0 end
box(x0,10,x0+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L37() end
y21=MulDiv(x3,5,7)
goto L37
::L38::
x6=x19*3+anPRES//4
if x7>100 then x3=0 end
box(x8,10,x8+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L38() end
y8=MulDiv(x11,5,7)
goto L38
::L39::
x14=x6*3+anPRES//4
if x15>100 then x13=0 end
box(x16,10,x16+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L39() end
y18=MulDiv(x19,5,7)
goto L39
::L40::
x22=x16*3+anPRES//4
if x0>100 then x0=0 end
box(x1,10,x1+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L40() end
y5=MulDiv(x4,5,7)
goto L40
::L41::
x7=x3*3+anPRES//4
if x8>100 then x10=0 end
box(x9,10,x9+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L41() end
y15=MulDiv(x12,5,7)
goto L41
::L42::
x15=x13*3+anPRES//4
if x16>100 then x20=0 end
box(x17,10,x17+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L42() end
y2=MulDiv(x20,5,7)
goto L42
::L43::
x0=x0*3+anPRES//4
if x1>100 then x7=0 end
box(x2,10,x2+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L43() end
y12=MulDiv(x5,5,7)
goto L43
::L44::
x8=x10*3+anPRES//4
if x9>100 then x17=0 end
box(x10,10,x10+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L44() end
y22=MulDiv(x13,5,7)
goto L44
::L45::
x16=x20*3+anPRES//4
if x17>100 then x4=0 end
box(x18,10,x18+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L45() end
y9=MulDiv(x21,5,7)
goto L45
::L46::
x1=x7*3+anPRES//4
if x2>100 then x14=0 end
box(x3,10,x3+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L46() end
y19=MulDiv(x6,5,7)
goto L46
::L47::
x9=x17*3+anPRES//4
if x10>100 then x1=0 end
box(x11,10,x11+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L47() end
y6=MulDiv(x14,5,7)
goto L47
::L48::
x17=x4*3+anPRES//4
if x18>100 then x11=0 end
box(x19,10,x19+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L48() end
y16=MulDiv(x22,5,7)
goto L48
::L49::
x2=x14*3+anPRES//4
if x3>100 then x21=0 end
box(x4,10,x4+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L49() end
y3=MulDiv(x7,5,7)
goto L49
::L50::
x10=x1*3+anPRES//4
if x11>100 then x8=0 end
box(x12,10,x12+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L50() end
y13=MulDiv(x15,5,7)
goto L50
::L51::
x18=x11*3+anPRES//4
if x19>100 then x18=0 end
box(x20,10,x20+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L51() end
y0=MulDiv(x0,5,7)
goto L51
::L52::
x3=x21*3+anPRES//4
if x4>100 then x5=0 end
box(x5,10,x5+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L52() end
y10=MulDiv(x8,5,7)
goto L52
::L53::
x11=x8*3+anPRES//4
if x12>100 then x15=0 end
box(x13,10,x13+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L53() end
y20=MulDiv(x16,5,7)
goto L53
::L54::
x19=x18*3+anPRES//4
if x20>100 then x2=0 end
box(x21,10,x21+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L54() end
y7=MulDiv(x1,5,7)
goto L54
::L55::
x4=x5*3+anPRES//4
if x5>100 then x12=0 end
box(x6,10,x6+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L55() end
y17=MulDiv(x9,5,7)
goto L55
::L56::
x12=x15*3+anPRES//4
if x13>100 then x22=0 end
box(x14,10,x14+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L56() end
y4=MulDiv(x17,5,7)
goto L56
::L57::
x20=x2*3+anPRES//4
if x21>100 then x9=0 end
box(x22,10,x22+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L57() end
y14=MulDiv(x2,5,7)
goto L57
::L58::
x5=x12*3+anPRES//4
if x6>100 then x19=0 end
box(x7,10,x7+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L58() end
y1=MulDiv(x10,5,7)
goto L58
::L59::
x13=x22*3+anPRES//4
if x14>100 then x6=0 end
box(x15,10,x15+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L59() end
y11=MulDiv(x18,5,7)
goto L59
::L60::
x21=x9*3+anPRES//4
if x22>100 then x16=0 end
box(x0,10,x0+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L60() end
y21=MulDiv(x3,5,7)
goto L60
::L61::
x6=x19*3+anPRES//4
if x7>100 then x3=0 end
box(x8,10,x8+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L61() end
y8=MulDiv(x11,5,7)
goto L61
::L62::
x14=x6*3+anPRES//4
if x15>100 then x13=0 end
box(x16,10,x16+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L62() end
y18=MulDiv(x19,5,7)
goto L62
::L63::
x22=x16*3+anPRES//4
if x0>100 then x0=0 end
box(x1,10,x1+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L63() end
y5=MulDiv(x4,5,7)
goto L63
::L64::
x7=x3*3+anPRES//4
if x8>100 then x10=0 end
box(x9,10,x9+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L64() end
y15=MulDiv(x12,5,7)
goto L64
::L65::
x15=x13*3+anPRES//4
if x16>100 then x20=0 end
box(x17,10,x17+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L65() end
y2=MulDiv(x20,5,7)
goto L65
::L66::
x0=x0*3+anPRES//4
if x1>100 then x7=0 end
box(x2,10,x2+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L66() end
y12=MulDiv(x5,5,7)
goto L66
::L67::
x8=x10*3+anPRES//4
if x9>100 then x17=0 end
box(x10,10,x10+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L67() end
y22=MulDiv(x13,5,7)
goto L67
::L68::
x16=x20*3+anPRES//4
if x17>100 then x4=0 end
box(x18,10,x18+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L68() end
y9=MulDiv(x21,5,7)
goto L68
::L69::
x1=x7*3+anPRES//4
if x2>100 then x14=0 end
box(x3,10,x3+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L69() end
y19=MulDiv(x6,5,7)
goto L69
::L70::
x9=x17*3+anPRES//4
if x10>100 then x1=0 end
box(x11,10,x11+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L70() end
y6=MulDiv(x14,5,7)
goto L70
::L71::
x17=x4*3+anPRES//4
if x18>100 then x11=0 end
box(x19,10,x19+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L71() end
y16=MulDiv(x22,5,7)
goto L71
::L72::
x2=x14*3+anPRES//4
if x3>100 then x21=0 end
box(x4,10,x4+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L72() end
y3=MulDiv(x7,5,7)
goto L72
::L73::
x10=x1*3+anPRES//4
if x11>100 then x8=0 end
box(x12,10,x12+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L73() end
y13=MulDiv(x15,5,7)
goto L73
::L74::
x18=x11*3+anPRES//4
if x19>100 then x18=0 end
box(x20,10,x20+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L74() end
y0=MulDiv(x0,5,7)
goto L74
::L75::
x3=x21*3+anPRES//4
if x4>100 then x5=0 end
box(x5,10,x5+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L75() end
y10=MulDiv(x8,5,7)
goto L75
::L76::
x11=x8*3+anPRES//4
if x12>100 then x15=0 end
box(x13,10,x13+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L76() end
y20=MulDiv(x16,5,7)
goto L76
::L77::
x19=x18*3+anPRES//4
if x20>100 then x2=0 end
box(x21,10,x21+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L77() end
y7=MulDiv(x1,5,7)
goto L77
::L78::
x4=x5*3+anPRES//4
if x5>100 then x12=0 end
box(x6,10,x6+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L78() end
y17=MulDiv(x9,5,7)
goto L78
::L79::
x12=x15*3+anPRES//4
if x13>100 then x22=0 end
box(x14,10,x14+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L79() end
y4=MulDiv(x17,5,7)
goto L79
::L80::
x20=x2*3+anPRES//4
if x21>100 then x9=0 end
box(x22,10,x22+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L80() end
y14=MulDiv(x2,5,7)
goto L80
::L81::
x5=x12*3+anPRES//4
if x6>100 then x19=0 end
box(x7,10,x7+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L81() end
y1=MulDiv(x10,5,7)
goto L81
::L82::
x13=x22*3+anPRES//4
if x14>100 then x6=0 end
box(x15,10,x15+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L82() end
y11=MulDiv(x18,5,7)
goto L82
::L83::
x21=x9*3+anPRES//4
if x22>100 then x16=0 end
box(x0,10,x0+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L83() end
y21=MulDiv(x3,5,7)
goto L83
::L84::
x6=x19*3+anPRES//4
if x7>100 then x3=0 end
box(x8,10,x8+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L84() end
y8=MulDiv(x11,5,7)
goto L84
::L85::
x14=x6*3+anPRES//4
if x15>100 then x13=0 end
box(x16,10,x16+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L85() end
y18=MulDiv(x19,5,7)
goto L85
::L86::
x22=x16*3+anPRES//4
if x0>100 then x0=0 end
box(x1,10,x1+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L86() end
y5=MulDiv(x4,5,7)
goto L86
::L87::
x7=x3*3+anPRES//4
if x8>100 then x10=0 end
box(x9,10,x9+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L87() end
y15=MulDiv(x12,5,7)
goto L87
::L88::
x15=x13*3+anPRES//4
if x16>100 then x20=0 end
box(x17,10,x17+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L88() end
y2=MulDiv(x20,5,7)
goto L88
::L89::
x0=x0*3+anPRES//4
if x1>100 then x7=0 end
box(x2,10,x2+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L89() end
y12=MulDiv(x5,5,7)
goto L89
::L90::
x8=x10*3+anPRES//4
if x9>100 then x17=0 end
box(x10,10,x10+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L90() end
y22=MulDiv(x13,5,7)
goto L90
::L91::
x16=x20*3+anPRES//4
if x17>100 then x4=0 end
box(x18,10,x18+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L91() end
y9=MulDiv(x21,5,7)
goto L91
::L92::
x1=x7*3+anPRES//4
if x2>100 then x14=0 end
box(x3,10,x3+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L92() end
y19=MulDiv(x6,5,7)
goto L92
::L93::
x9=x17*3+anPRES//4
if x10>100 then x1=0 end
box(x11,10,x11+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L93() end
y6=MulDiv(x14,5,7)
goto L93
::L94::
x17=x4*3+anPRES//4
if x18>100 then x11=0 end
box(x19,10,x19+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L94() end
y16=MulDiv(x22,5,7)
goto L94
::L95::
x2=x14*3+anPRES//4
if x3>100 then x21=0 end
box(x4,10,x4+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L95() end
y3=MulDiv(x7,5,7)
goto L95
::L96::
x10=x1*3+anPRES//4
if x11>100 then x8=0 end
box(x12,10,x12+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L96() end
y13=MulDiv(x15,5,7)
goto L96
::L97::
x18=x11*3+anPRES//4
if x19>100 then x18=0 end
box(x20,10,x20+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L97() end
y0=MulDiv(x0,5,7)
goto L97
::L98::
x3=x21*3+anPRES//4
if x4>100 then x5=0 end
box(x5,10,x5+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L98() end
y10=MulDiv(x8,5,7)
goto L98
::L99::
x11=x8*3+anPRES//4
if x12>100 then x15=0 end
box(x13,10,x13+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L99() end
y20=MulDiv(x16,5,7)
goto L99
::L100::
x19=x18*3+anPRES//4
if x20>100 then x2=0 end
box(x21,10,x21+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L100() end
y7=MulDiv(x1,5,7)
goto L100
::L101::
x4=x5*3+anPRES//4
if x5>100 then x12=0 end
box(x6,10,x6+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L101() end
y17=MulDiv(x9,5,7)
goto L101
::L102::
x12=x15*3+anPRES//4
if x13>100 then x22=0 end
box(x14,10,x14+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L102() end
y4=MulDiv(x17,5,7)
goto L102
::L103::
x20=x2*3+anPRES//4
if x21>100 then x9=0 end
box(x22,10,x22+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L103() end
y14=MulDiv(x2,5,7)
goto L103
::L104::
x5=x12*3+anPRES//4
if x6>100 then x19=0 end
box(x7,10,x7+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L104() end
y1=MulDiv(x10,5,7)
goto L104
::L105::
x13=x22*3+anPRES//4
if x14>100 then x6=0 end
box(x15,10,x15+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L105() end
y11=MulDiv(x18,5,7)
goto L105
::L106::
x21=x9*3+anPRES//4
if x22>100 then x16=0 end
box(x0,10,x0+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L106() end
y21=MulDiv(x3,5,7)
goto L106
::L107::
x6=x19*3+anPRES//4
if x7>100 then x3=0 end
box(x8,10,x8+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L107() end
y8=MulDiv(x11,5,7)
goto L107
::L108::
x14=x6*3+anPRES//4
if x15>100 then x13=0 end
box(x16,10,x16+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L108() end
y18=MulDiv(x19,5,7)
goto L108
::L109::
x22=x16*3+anPRES//4
if x0>100 then x0=0 end
box(x1,10,x1+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L109() end
y5=MulDiv(x4,5,7)
goto L109
::L110::
x7=x3*3+anPRES//4
if x8>100 then x10=0 end
box(x9,10,x9+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L110() end
y15=MulDiv(x12,5,7)
goto L110
::L111::
x15=x13*3+anPRES//4
if x16>100 then x20=0 end
box(x17,10,x17+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L111() end
y2=MulDiv(x20,5,7)
goto L111
::L112::
x0=x0*3+anPRES//4
if x1>100 then x7=0 end
box(x2,10,x2+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L112() end
y12=MulDiv(x5,5,7)
goto L112
::L113::
x8=x10*3+anPRES//4
if x9>100 then x17=0 end
box(x10,10,x10+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L113() end
y22=MulDiv(x13,5,7)
goto L113
::L114::
x16=x20*3+anPRES//4
if x17>100 then x4=0 end
box(x18,10,x18+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L114() end
y9=MulDiv(x21,5,7)
goto L114
::L115::
x1=x7*3+anPRES//4
if x2>100 then x14=0 end
box(x3,10,x3+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L115() end
y19=MulDiv(x6,5,7)
goto L115
::L116::
x9=x17*3+anPRES//4
if x10>100 then x1=0 end
box(x11,10,x11+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L116() end
y6=MulDiv(x14,5,7)
goto L116
::L117::
x17=x4*3+anPRES//4
if x18>100 then x11=0 end
box(x19,10,x19+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L117() end
y16=MulDiv(x22,5,7)
goto L117
::L118::
x2=x14*3+anPRES//4
if x3>100 then x21=0 end
box(x4,10,x4+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L118() end
y3=MulDiv(x7,5,7)
goto L118
::L119::
x10=x1*3+anPRES//4
if x11>100 then x8=0 end
box(x12,10,x12+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L119() end
y13=MulDiv(x15,5,7)
goto L119
::L120::
x18=x11*3+anPRES//4
if x19>100 then x18=0 end
box(x20,10,x20+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L120() end
y0=MulDiv(x0,5,7)
goto L120
::L121::
x3=x21*3+anPRES//4
if x4>100 then x5=0 end
box(x5,10,x5+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L121() end
y10=MulDiv(x8,5,7)
goto L121
::L122::
x11=x8*3+anPRES//4
if x12>100 then x15=0 end
box(x13,10,x13+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L122() end
y20=MulDiv(x16,5,7)
goto L122
::L123::
x19=x18*3+anPRES//4
if x20>100 then x2=0 end
box(x21,10,x21+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L123() end
y7=MulDiv(x1,5,7)
goto L123
::L124::
x4=x5*3+anPRES//4
if x5>100 then x12=0 end
box(x6,10,x6+32,48,0x200+BACKGROUND)
d("PS0") c(RED)
if PTO~=0 then L124() end
y17=MulDiv(x9,5,7)
goto L124
