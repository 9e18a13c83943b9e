C     A Fortran 77 program drawing through Lumo, linked with -lLumo alone.
C     It prints the colours it reads back so that tests can check them.
      PROGRAM CHART
      INTEGER IR, N, IRED, IBLUE, IC, LMRGB
      N = 0
      CALL LMOPEN(IR, N)
      CALL LMSETWORLD(IR, 0.0, 0.0, 10.0, 10.0)
      IRED = LMRGB(255, 0, 0)
      IBLUE = LMRGB(0, 0, 255)
      CALL LMSETPEN(IR, IRED, 0, 2, 13)
      CALL LMLINE(IR, 1.0, 1.0, 9.0, 9.0)
      CALL LMSETBRUSH(IR, IBLUE, 0, 0)
      CALL LMRECT(IR, 6.0, 1.0, 9.0, 3.0)
      CALL LMTEXT(IR, 1.0, 8.0, 'FORTRAN 77   ')
      CALL LMGETPIXEL(IC, 5.0, 5.0)
      WRITE (*, '(A,Z8.8)') 'LINE=', IC
      CALL LMGETPIXEL(IC, 7.5, 2.0)
      WRITE (*, '(A,Z8.8)') 'RECT=', IC
      CALL LMQUIT(IR)
      END
