#!/bin/sh
# pentium.sh EXE...: fails naming each instruction a Pentium (i586) lacks in
# the code of the 32-bit Windows programs EXE, as "EXE: ADDRESS INSTRUCTION;
# ..." (Intel syntax). It has the integer and x87 instructions of user code;
# no CMOV, FCMOV, FCOMI, UD2, multi-byte NOP (nop with an operand), MMX or later.
set -eu
dump=i686-w64-mingw32-objdump
pentium="aaa aad aam aas adc add and bound bsf bsr bswap bt btc btr bts call cbw cdq clc cld cmc
cmp cmps cmpxchg cmpxchg8b cpuid cwd cwde daa das dec div enter hlt idiv imul inc int int3 into
jcxz jecxz jmp lahf lea leave lods loop loope loopne mov movs movsx movzx mul neg nop not or pop
popa popf push pusha pushf rcl rcr rdtsc ret rol ror sahf sar sbb scas shl shld shr shrd stc std
stos sub test xadd xchg xlat xor f2xm1 fabs fadd faddp fbld fbstp fchs fclex fcom fcomp fcompp
fcos fdecstp fdiv fdivp fdivr fdivrp ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp
finit fist fistp fisub fisubr fld fld1 fldcw fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul
fmulp fnclex fninit fnop fnsave fnstcw fnstenv fnstsw fpatan fprem fprem1 fptan frndint frstor
fsave fscale fsin fsincos fsqrt fst fstcw fstenv fstp fstsw fsub fsubp fsubr fsubrp ftst fucom
fucomp fucompp fwait fxam fxch fxtract fyl2x fyl2xp1
$(for c in o no b ae e ne be a s ns p np l ge le g; do echo "j$c set$c"; done)"
status=0
for exe; do
    # The code is .text up to the lists of constructors and destructors the
    # linker puts at its end, which are data: each -1, addresses in .text, 0.
    # shellcheck disable=SC2046 # its size, address and file offset
    set -- $("$dump" -h "$exe" | awk '$2 == ".text" { print $3, $4, $6 }')
    end=$(od -An -v -tx4 -j $((0x$3)) -N $((0x$1)) "$exe" | awk -v vma=$((0x$2)) -v first="$2" \
        -v last="$(printf %08x $((0x$2 + 0x$1)))" '{ for (f = 1; f <= NF; f++) w[n++] = $f }
        END {
            for (i = n - 1; i >= 0 && w[i] == "00000000"; i--);
            for (list = 2; list > 0; list--) {
                while (i >= 0 && w[i] "" >= first "" && w[i] "" < last "") i--
                if (w[i--] != "ffffffff" || list == 2 && w[i--] != "00000000") exit
            }
            printf "0x%x\n", vma + 4 * (i + 1) }')
    lacks=$("$dump" -d -M intel --stop-address="${end:-0}" "$exe" | awk -F '\t' -v ok="$pentium" '
        BEGIN { split(ok, w, " "); for (i in w) pentium[w[i]] }
        { split($3, w, " "); for (n = 1; w[n] ~ /^([cdefgs]s|(data|addr)16|lock|repn?z?)$/; n++); }
        NF >= 3 && (!(w[n] in pentium) || w[n] == "nop" && w[n + 1] != "") {
            gsub(/ +/, "", $1); gsub(/ +/, " ", $3); printf "%s%s %s", sep, $1, $3; sep = "; "
        }')
    [ -n "$end" ] || lacks="its .text does not end in the lists of constructors and destructors"
    [ -z "$lacks" ] || { echo "$exe: $lacks"; status=1; }
done
exit $status
